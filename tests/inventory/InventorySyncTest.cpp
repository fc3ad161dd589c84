#include "inventory/InventorySync.h"

#include <deque>
#include <fstream>
#include <mutex>

#include <gtest/gtest.h>

#include "api/QvxApi.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/ToastHandler.h"
#include "plugin/Version.h"
#include "sim/game/Functions.h"
#include "tests/support/TestHost.h"
#include "tests/support/WaitUntil.h"

namespace quorvex {
namespace {

namespace function = sim::game::function;
using sim::game::Attribute;

const std::string SyncUrl = "https://api.quorvex.com/api/v2/inventory/smartSync.php";
const std::string ToggleUrl = "https://api.quorvex.com/api/v2/inventory/toggleSync.php?status=";

sim::game::Product Item(std::uint64_t instanceId, std::string label = "Octane")
{
    return {23, 1, 0, instanceId, 3, std::move(label), {Attribute::Painted(2)}};
}

std::string Json(const std::vector<ProductData>& items)
{
    return nlohmann::json(items).dump();
}

std::string Guid(int number, bool full = false)
{
    return nlohmann::json{{"guid", "G" + std::to_string(number)}, {"full", full}}.dump();
}

class InventorySyncTest : public ::testing::Test {
protected:
    InventorySyncTest()
    {
        host->SetResponder([this](const CurlRequest& request) {
            std::lock_guard<std::mutex> lock(mutex);
            if (request.url.rfind(ToggleUrl, 0) == 0) {
                return toggleAnswer;
            }
            ++syncAnswers;
            if (answers.empty()) {
                return sim::ScriptedResponse{200, Guid(syncAnswers)};
            }
            auto answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }

    // Creates the sync at the current time (its start-up sync runs 5 s later) and links the account.
    void Start(bool linked = true)
    {
        sync = InventorySync::Create(api, store, dispatcher, host->Game(), std::make_unique<InlineExecutor>());
        if (linked) {
            host->ExecuteConsole("hidden_qvx_user_code abc");
        }
    }

    // Lets time pass, then waits until every request sent meanwhile is answered.
    void Advance(double seconds)
    {
        host->RunFor(sim::Seconds(seconds));
        host->WaitForHttpIdle();
    }

    void Answer(int status, std::string body)
    {
        std::lock_guard<std::mutex> lock(mutex);
        answers.push_back({status, std::move(body)});
    }

    void Receive(sim::game::Product product, const char* hook = function::OnNewOnlineProduct)
    {
        sim::game::NewOnlineProductParams params{host->GetWorld().Items().AddOwnedProduct(std::move(product))};
        host->CallFunction(hook, 0, &params);
    }

    void Remove(std::uint64_t instanceId)
    {
        const auto removed = host->GetWorld().Items().RemoveOwnedProduct(instanceId);
        sim::game::RemovedOnlineProductParams params{0, removed->Address()};
        host->CallFunction(function::HandleRemovedOnlineProduct, 0, &params);
    }

    std::vector<ProductData> Owned() { return GetCurrentItems(*host->Game()); }

    std::vector<sim::HttpExchange> SyncRequests()
    {
        std::vector<sim::HttpExchange> requests;
        for (auto& exchange : host.host().HttpExchanges()) {
            if (exchange.url.rfind(SyncUrl, 0) == 0) {
                requests.push_back(exchange);
            }
        }
        return requests;
    }

    nlohmann::json StoredSnapshot()
    {
        return nlohmann::json::parse(testing::ReadFile(sync->Snapshot().File()));
    }

    // Each line appears, exactly, after the one before it.
    void ExpectLinesInOrder(const std::vector<std::string>& expected)
    {
        const auto lines = host.host().ConsoleLines();
        auto at = lines.begin();
        for (const auto& line : expected) {
            at = std::find(at, lines.end(), line);
            ASSERT_NE(at, lines.end()) << "missing or out of order: " << line;
        }
    }

    testing::TestHost host;
    std::shared_ptr<PersistentStorage> store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true);
    std::shared_ptr<PluginEventDispatcher> dispatcher = std::make_shared<PluginEventDispatcher>();
    std::shared_ptr<ToastHandler> toasts = ToastHandler::Create(dispatcher, host->Game(), host->CvarManager(), store);
    std::shared_ptr<UserCode> userCode = UserCode::Create(store, dispatcher);
    std::shared_ptr<QvxApi> api = std::make_shared<QvxApi>(host->Game(), userCode, QUORVEX_VERSION_HEADER_TEXT);
    std::shared_ptr<InventorySync> sync;

    std::mutex mutex;  // guards what the responder reads on the HTTP thread
    std::deque<sim::ScriptedResponse> answers;
    sim::ScriptedResponse toggleAnswer{200, "{}"};
    int syncAnswers = 0;
};

TEST_F(InventorySyncTest, FirstSyncIsFullAndLaterOnesSendTheChangesAgainstTheAcceptedGuid)
{
    host->GetWorld().Items().AddOwnedProduct(Item(1));
    host->GetWorld().Items().AddOwnedProduct(Item(18446744073709551615ull));
    Start();
    Advance(4.9);
    EXPECT_TRUE(SyncRequests().empty());
    Advance(0.1);

    auto requests = SyncRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].url, SyncUrl + "?lastRequest");
    EXPECT_EQ(requests[0].verb, "");
    EXPECT_EQ(requests[0].requestBody, Json(Owned()));
    EXPECT_EQ(requests[0].headers, api->GetHeaders());
    ExpectLinesInOrder({"Attempting sync...", "Requesting a full sync at " + SyncUrl + "?lastRequest",
                        "InventorySyncResponse : Code: 200, Response: " + Guid(1), "Synced inventory.",
                        "status: 200, response:\n " + Guid(1), "Got guid G1"});
    ASSERT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host->Toasts()[0].text, "Inventory synced!");
    EXPECT_EQ(testing::ReadFile(sync->Snapshot().File()),
              nlohmann::json({{"guid", "G1"}, {"items", Owned()}}).dump(4));

    Advance(10);  // past the cooldown
    Receive(Item(7, "Fennec"));
    EXPECT_TRUE(host->ConsoleContains("Fennec Received"));
    EXPECT_TRUE(host->ConsoleContains(nlohmann::json(Owned().back()).dump(4)));
    Advance(5);

    requests = SyncRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].url, SyncUrl + "?lastRequest=G1");
    EXPECT_EQ(requests[1].requestBody,
              "{\"addedItems\":" + Json({Owned().back()}) + ",\"previousGuid\":\"G1\",\"removedItems\":[]}");
    ExpectLinesInOrder({"Syncing inventory", "Attempting sync...", "Inventory diff: Old GUID: G1, # added: 1, # removed: 0",
                        "Requesting a diff sync at " + SyncUrl + "?lastRequest=G1", "Got guid G2"});
    EXPECT_EQ(StoredSnapshot(), nlohmann::json({{"guid", "G2"}, {"items", Owned()}}));

    Advance(10);
    const ProductData gone = Owned().front();
    Remove(1);
    EXPECT_TRUE(host->ConsoleContains("Octane Removed"));
    Advance(5);
    requests = SyncRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].requestBody,
              "{\"addedItems\":[],\"previousGuid\":\"G2\",\"removedItems\":" + Json({gone}) + "}");
}

TEST_F(InventorySyncTest, ABurstOfChangesGivesOneSyncFiveSecondsAfterItsLastChange)
{
    Start();
    Advance(5);
    Advance(10);  // the cooldown of the start-up sync is over

    Receive(Item(1));
    Advance(1);
    Receive(Item(2));
    Advance(1);
    Receive(Item(3));
    Receive(Item(4), function::OnNewOnlineProductNoNotify);  // in the same instant
    Advance(4.9);
    EXPECT_EQ(SyncRequests().size(), 1u);
    Advance(0.1);
    ASSERT_EQ(SyncRequests().size(), 2u);
    EXPECT_EQ(host.CountConsoleLines("Inventory changed since the timeout was started"), 3);
    EXPECT_EQ(host.CountConsoleLines("Syncing inventory"), 1);
    EXPECT_EQ(host.CountConsoleLines("Unable to sync"), 0);
    EXPECT_TRUE(host->ConsoleContains("# added: 4, # removed: 0"));

    Advance(4);
    Receive(Item(5));  // within the cooldown: synced when it ends, 5 quiet seconds or not
    Receive(Item(6));
    EXPECT_EQ(host.CountConsoleLines("Inventory changed during the cooldown; syncing when it ends"), 1);
    Advance(5.9);
    EXPECT_EQ(SyncRequests().size(), 2u);
    Advance(0.1);
    ASSERT_EQ(SyncRequests().size(), 3u);
    EXPECT_TRUE(host->ConsoleContains("# added: 2, # removed: 0"));
    Advance(60);
    EXPECT_EQ(SyncRequests().size(), 3u);
    EXPECT_EQ(host.CountConsoleLines("Inventory changed since the timeout was started"), 4);

    // A change just before the cooldown ends still waits its 5 quiet seconds.
    ASSERT_TRUE(sync->Sync(false));
    Advance(9);
    Receive(Item(7));
    Advance(4.9);
    EXPECT_EQ(SyncRequests().size(), 4u);
    Advance(0.1);
    EXPECT_EQ(SyncRequests().size(), 5u);
}

TEST_F(InventorySyncTest, GateRefusesWithoutUserCodeThenDuringCooldownThenWhenDisabled)
{
    Start(false);
    Advance(5);
    EXPECT_TRUE(host->ConsoleContains("Unable to sync, reason: 3"));
    EXPECT_EQ(sync->GetSyncStatus(), SyncStatus::NoUserCode);

    host->ExecuteConsole("hidden_qvx_user_code abc");
    EXPECT_TRUE(sync->Sync(false));
    EXPECT_EQ(sync->NextSyncAllowedAt(), host->SteadyNow() + std::chrono::seconds(10));
    EXPECT_FALSE(sync->Sync(false));
    EXPECT_TRUE(host->ConsoleContains("Unable to sync, reason: 1"));

    host->ExecuteConsole("qvx_inventorysync_enable 0");
    Advance(10);
    EXPECT_FALSE(sync->Sync(false));
    EXPECT_TRUE(host->ConsoleContains("Unable to sync, reason: 2"));
    EXPECT_EQ(SyncRequests().size(), 1u);
}

TEST_F(InventorySyncTest, FullResyncFollowsTenPointOneSecondsAfterADiffButNeverAfterAFullSync)
{
    Answer(200, Guid(1, true));
    Start();
    Advance(5);
    ExpectLinesInOrder({"Got guid G1", "Full resync requested, retrying in 10 secs...",
                        "Already sent full sync but full resync wanted!"});
    EXPECT_FALSE(std::filesystem::exists(sync->Snapshot().File())) << "no base the service did not accept";
    Advance(30);
    ASSERT_EQ(SyncRequests().size(), 1u);

    // The next upload is full, whoever starts it; its answer is a base again.
    EXPECT_TRUE(sync->Sync(false));
    host->WaitForHttpIdle();
    EXPECT_EQ(SyncRequests().back().url, SyncUrl + "?lastRequest");
    EXPECT_EQ(StoredSnapshot()["guid"], "G2");

    Advance(10);
    Answer(200, Guid(3, true));
    EXPECT_TRUE(sync->Sync(false));
    host->WaitForHttpIdle();
    ExpectLinesInOrder({"Got guid G3", "Inventory snapshot removed: the service asked for a full sync; the next sync is a "
                                       "full one"});
    EXPECT_FALSE(std::filesystem::exists(sync->Snapshot().File()));
    Advance(10.05);
    EXPECT_EQ(SyncRequests().size(), 3u);
    Advance(0.1);
    const auto requests = SyncRequests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2].url, SyncUrl + "?lastRequest=G2");
    EXPECT_EQ(requests[3].url, SyncUrl + "?lastRequest");
    EXPECT_EQ(requests[3].requestBody, Json(Owned()));
    EXPECT_EQ(StoredSnapshot()["guid"], "G4");
}

TEST_F(InventorySyncTest, AFullSyncRequestLeftBeforeTheResyncMakesTheNextStartUploadFully)
{
    Start();
    Advance(15);
    Receive(Item(1));
    Answer(200, Guid(2, true));
    Advance(5);
    ASSERT_EQ(SyncRequests().back().url, SyncUrl + "?lastRequest=G1");
    sync.reset();  // the player quits before the resync

    Start();
    Advance(5);
    ASSERT_EQ(SyncRequests().size(), 3u);
    EXPECT_EQ(SyncRequests().back().url, SyncUrl + "?lastRequest");
    EXPECT_EQ(SyncRequests().back().requestBody, Json(Owned()));
}

struct FailedAnswerCase {
    const char* name;
    int status;
    std::string body;
    std::vector<std::string> lines;
    std::string toast;  // empty: none
    int toastType;
    float toastSeconds;
    SyncStatus statusAfterCooldown;
};

class InventorySyncFailureTest : public InventorySyncTest, public ::testing::WithParamInterface<FailedAnswerCase> {};

TEST_P(InventorySyncFailureTest, LeavesTheSnapshotSoTheNextDiffCoversTheSameChanges)
{
    const auto& answer = GetParam();
    host->GetWorld().Items().AddOwnedProduct(Item(1));
    Start();
    Advance(5);
    Advance(10);
    Receive(Item(2));
    Answer(answer.status, answer.body);
    Advance(5);

    ExpectLinesInOrder(answer.lines);
    const auto toastList = host->Toasts();
    ASSERT_EQ(toastList.size(), answer.toast.empty() ? 1u : 2u);
    if (!answer.toast.empty()) {
        EXPECT_EQ(toastList[1].text, answer.toast);
        EXPECT_EQ(toastList[1].toastType, answer.toastType);
        EXPECT_FLOAT_EQ(toastList[1].seconds, answer.toastSeconds);
    }
    EXPECT_EQ(StoredSnapshot()["guid"], "G1");
    EXPECT_EQ(host.CountConsoleLines("Got guid"), 1);
    EXPECT_EQ(host.CountConsoleLines("Full resync requested"), 0);

    Advance(10);
    EXPECT_EQ(sync->GetSyncStatus(), answer.statusAfterCooldown);
    host->ExecuteConsole("qvx_inventorysync_enable 0");
    host->ExecuteConsole("qvx_inventorysync_enable 1");
    ASSERT_TRUE(sync->Sync(false));
    host->WaitForHttpIdle();
    const auto requests = SyncRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].requestBody, requests[1].requestBody);
}

const std::string DefaultRefusal = "Plugin outdated or other issue found. Please create a support ticket on Quorvex.";

INSTANTIATE_TEST_SUITE_P(
    Answers, InventorySyncFailureTest,
    ::testing::Values(
        FailedAnswerCase{"RefusedWithMessage", 401, R"({"message":"Update {0} now"})",
                         {"InventorySyncResponse : Code: 401, Response: {\"message\":\"Update {0} now\"}",
                          "Update {0} now. Disabling requests for this session."},
                         "Update {0} now", 3, 15.0f, SyncStatus::Disabled},
        FailedAnswerCase{"RefusedWithoutMessage", 401, "", {DefaultRefusal + ". Disabling requests for this session."},
                         DefaultRefusal, 3, 15.0f, SyncStatus::Disabled},
        FailedAnswerCase{"ServerError", 500, "oops", {"500 on inventory sync!"}, "", 0, 0, SyncStatus::Ready},
        FailedAnswerCase{"NotFound", 404, "{\"a\":\"{}\"}", {"Failed to sync inventory (404), response:\n{\"a\":\"{}\"}"},
                         "Failed to sync inventory (404)!\nError: {\"a\":\"{}\"}", 3, 10.0f, SyncStatus::Ready}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

class InventorySyncBadSnapshotTest : public InventorySyncTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(InventorySyncBadSnapshotTest, FallsBackToAFullSyncThatRewritesTheSnapshot)
{
    host->GetWorld().Items().AddOwnedProduct(Item(1));
    Start();
    std::filesystem::create_directories(sync->Snapshot().File().parent_path());
    std::ofstream(sync->Snapshot().File(), std::ios::binary) << GetParam();
    Advance(5);

    EXPECT_EQ(host.CountConsoleLines("Inventory snapshot " + sync->Snapshot().File().string() + " cannot be used ("), 1);
    EXPECT_EQ(host.CountConsoleLines("Inventory diff"), 0);
    ExpectLinesInOrder({"Attempting sync...", "Requesting a full sync at " + SyncUrl + "?lastRequest", "Got guid G1"});
    ASSERT_EQ(SyncRequests().size(), 1u);
    EXPECT_EQ(SyncRequests()[0].requestBody, Json(Owned()));
    EXPECT_EQ(StoredSnapshot(), nlohmann::json({{"guid", "G1"}, {"items", Owned()}}));

    Advance(10);
    ASSERT_TRUE(sync->Sync(false));
    host->WaitForHttpIdle();
    EXPECT_EQ(SyncRequests().back().url, SyncUrl + "?lastRequest=G1");
}

INSTANTIATE_TEST_SUITE_P(
    Files, InventorySyncBadSnapshotTest,
    ::testing::Values("", "{\"guid\": \"G0\", \"items\": [", "[]", R"({"guid": "G0"})", R"({"guid": "G0", "items": {}})",
                      R"({"guid": "G0", "items": [{"Attributes":[],"ID":1,"Quality":0,"SeriesID":0,"TradeHold":0}]})",
                      R"({"guid": "G0", "items": [{"Attributes":[],"ID":1,"InstanceID":"1","Quality":0,"SeriesID":0,"TradeHold":0}]})",
                      R"({"guid": null, "items": []})", R"({"items": []})",
                      R"({"guid": "G0", "items": [{"Attributes":[],"ID":1,"InstanceID":18446744073709551617,"Quality":0,"SeriesID":0,"TradeHold":0}]})"));

TEST_F(InventorySyncTest, AnInventoryTheHostCannotGiveAbandonsTheSyncButKeepsTheCooldown)
{
    host->GetWorld().SetItemsAvailable(false);
    Start();
    Advance(5);
    EXPECT_TRUE(host->ConsoleContains("Exception in InventorySync::Sync: ItemWrapper null"));
    EXPECT_EQ(sync->GetSyncStatus(), SyncStatus::CoolingDown);

    host->GetWorld().SetItemsAvailable(true);
    host->GetWorld().Items().SetOwnedProductsAvailable(false);
    Advance(10);
    EXPECT_FALSE(sync->Sync(false));
    EXPECT_TRUE(host->ConsoleContains("Exception in InventorySync::Sync: owned products null"));
    EXPECT_TRUE(SyncRequests().empty());

    host->GetWorld().Items().SetOwnedProductsAvailable(true);
    Advance(10);
    EXPECT_TRUE(sync->Sync(false));
}

TEST_F(InventorySyncTest, InvalidUtf8FromTheHostIsReplacedInTheBodyAndTheSnapshot)
{
    host->GetWorld().Items().AddOwnedProduct(
        {1, 0, 0, 1, 0, "bad\xff", {Attribute::Title(host->InternName("Ti\xc3tle")), Attribute::OfClass("Bad\xfe")}});
    Start();
    Advance(5);
    ASSERT_EQ(SyncRequests().size(), 1u);
    EXPECT_NE(SyncRequests()[0].requestBody.find("Ti\xef\xbf\xbdtle"), std::string::npos);
    EXPECT_EQ(host.CountConsoleLines("Invalid UTF-8 in the inventory sync request replaced with U+FFFD"), 1);
    EXPECT_EQ(host.CountConsoleLines("Invalid UTF-8 in the inventory snapshot replaced with U+FFFD"), 1);
    EXPECT_EQ(StoredSnapshot()["guid"], "G1");
}

TEST_F(InventorySyncTest, ProductHooksWithoutAProductStillMarkTheInventoryChanged)
{
    Start();
    Advance(15);
    host->CallFunction(function::HandleRemovedOnlineProduct, 0, nullptr);
    sim::game::RemovedOnlineProductParams empty;
    host->CallFunction(function::HandleRemovedOnlineProduct, 0, &empty);
    EXPECT_EQ(host.CountConsoleLines("Product hook without a product (Removed)"), 2);
    Advance(5);
    EXPECT_EQ(SyncRequests().size(), 2u);
}

TEST_F(InventorySyncTest, SwitchingTheFeatureTellsTheServiceWithoutAnyGate)
{
    Start(false);
    host->ExecuteConsole("qvx_inventorysync_enable 0");
    host->RunUntilIdle();
    host->WaitForHttpIdle();
    host->ExecuteConsole("qvx_inventorysync_enable 0");
    host->ExecuteConsole("qvx_inventorysync_enable 1");
    host->RunUntilIdle();
    host->WaitForHttpIdle();

    const auto exchanges = host->HttpExchanges();
    ASSERT_EQ(exchanges.size(), 2u);
    EXPECT_EQ(exchanges[0].url, ToggleUrl + "0");
    EXPECT_EQ(exchanges[0].verb, "GET");
    EXPECT_EQ(exchanges[0].requestBody, "");
    EXPECT_EQ(exchanges[0].headers, api->GetHeaders());
    EXPECT_EQ(exchanges[1].url, ToggleUrl + "1");
    ASSERT_EQ(host->Toasts().size(), 2u);
    EXPECT_EQ(host->Toasts()[0].text, "Inventory sync toggled off");
    EXPECT_EQ(host->Toasts()[1].text, "Inventory sync toggled on");
    ExpectLinesInOrder({"InventorySyncToggleResponse : Code: 200, Response: {}", "Synced inventory.",
                        "status: 200, response:\n {}"});

    const auto toggleAnsweredWith = [this](int status, const char* value) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            toggleAnswer = {status, "no"};
        }
        host->ExecuteConsole(std::string("qvx_inventorysync_enable ") + value);
        host->RunUntilIdle();
        host->WaitForHttpIdle();
    };
    toggleAnsweredWith(500, "0");
    EXPECT_TRUE(host->ConsoleContains("500 on inventory sync toggle!"));
    EXPECT_EQ(host->Toasts().size(), 2u);
    toggleAnsweredWith(404, "1");
    EXPECT_TRUE(host->ConsoleContains("Failed to toggle inventory sync (404), response:\nno"));
    EXPECT_EQ(host->Toasts().back().text, "Failed to toggle inventory sync (404)!\nError: no");
    toggleAnsweredWith(401, "1");
    EXPECT_EQ(host->HttpExchanges().size(), 4u) << "an unchanged value sends nothing";
    toggleAnsweredWith(401, "0");
    toggleAnsweredWith(401, "1");
    EXPECT_TRUE(host->ConsoleContains(DefaultRefusal + ". Disabling requests for this session."));
    host->ExecuteConsole("hidden_qvx_user_code abc");
    EXPECT_EQ(sync->GetSyncStatus(), SyncStatus::Disabled);
}

TEST_F(InventorySyncTest, CallbacksAfterTheSyncIsGoneDoNothing)
{
    Start();
    Advance(15);
    Receive(Item(1));  // its debounce timer is pending
    {
        std::lock_guard<std::mutex> lock(mutex);
        answers.push_back({200, Guid(2), std::chrono::milliseconds(50)});
    }
    ASSERT_TRUE(sync->Sync(false));  // its answer is in flight
    sync.reset();
    host->WaitForHttpIdle();
    Advance(30);

    EXPECT_EQ(SyncRequests().size(), 2u);
    EXPECT_EQ(host.CountConsoleLines("InventorySyncResponse"), 1);
    EXPECT_FALSE(host->ConsoleContains("Syncing inventory"));
    EXPECT_EQ(nlohmann::json::parse(testing::ReadFile(InventorySnapshot(host.hostDir() / "data").File()))["guid"], "G1");
}

struct MalformedAnswerCase {
    const char* name;
    std::string body;
    std::string problem;
};

class InventorySyncMalformedAnswerTest : public InventorySyncTest,
                                         public ::testing::WithParamInterface<MalformedAnswerCase> {};

TEST_P(InventorySyncMalformedAnswerTest, WritesNoSnapshotAndRetriesWithAFullSync)
{
    host->GetWorld().Items().AddOwnedProduct(Item(1));
    Start();
    Advance(15);
    Receive(Item(2));
    Answer(200, GetParam().body);
    Advance(5);

    ASSERT_EQ(SyncRequests().back().url, SyncUrl + "?lastRequest=G1");
    ExpectLinesInOrder({"Inventory sync answer has " + GetParam().problem + "; the next sync is a full one",
                        "Inventory snapshot removed: the service's answer cannot be used; the next sync is a full one",
                        "Retrying the inventory sync in 30 s with a full sync"});
    EXPECT_EQ(host->Toasts().back().text, "Inventory synced!");
    EXPECT_FALSE(std::filesystem::exists(sync->Snapshot().File()));
    EXPECT_EQ(host.CountConsoleLines("Got guid"), 1);

    Advance(29.9);
    EXPECT_EQ(SyncRequests().size(), 2u);
    Advance(0.1);
    ASSERT_EQ(SyncRequests().size(), 3u);
    EXPECT_EQ(SyncRequests()[2].url, SyncUrl + "?lastRequest");
    EXPECT_EQ(SyncRequests()[2].requestBody, Json(Owned()));
    EXPECT_EQ(StoredSnapshot()["guid"], "G3");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, InventorySyncMalformedAnswerTest,
    ::testing::Values(
        MalformedAnswerCase{"NotJson", "<html>", "not JSON"},
        MalformedAnswerCase{"NumberGuid", R"({"guid":5,"full":true})", "no string \"guid\""},
        MalformedAnswerCase{"NoFull", R"({"guid":"G9"})", "no boolean \"full\""},
        MalformedAnswerCase{"EmptyGuid", R"({"guid":"","full":false})", "the guid is empty"},
        MalformedAnswerCase{"GuidWithSpace", R"({"guid":"G 9","full":false})",
                            "the guid holds characters other than letters, digits and -_.~"},
        MalformedAnswerCase{"GuidWithQuery", R"({"guid":"G9&x=1#y","full":false})",
                            "the guid holds characters other than letters, digits and -_.~"},
        MalformedAnswerCase{"GuidWithLineBreak", R"({"guid":"G9\n","full":false})",
                            "the guid holds characters other than letters, digits and -_.~"},
        MalformedAnswerCase{"LongGuid", nlohmann::json{{"guid", std::string(257, 'a')}, {"full", false}}.dump(),
                            "the guid is longer than 256 bytes"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(InventorySyncTest, TheLongestUsableGuidIsKeptAndUsed)
{
    const std::string guid = std::string(250, 'a') + "-_.~Z9";
    Answer(200, nlohmann::json{{"guid", guid}, {"full", false}}.dump());
    Start();
    Advance(15);
    ASSERT_TRUE(sync->Sync(false));
    host->WaitForHttpIdle();
    EXPECT_EQ(SyncRequests().back().url, SyncUrl + "?lastRequest=" + guid);
}

TEST_F(InventorySyncTest, AStoredGuidTheUrlCannotCarryMakesTheSnapshotUnusable)
{
    host->GetWorld().Items().AddOwnedProduct(Item(1));
    Start();
    ASSERT_EQ(sync->Snapshot().Write("G1&full=1 x", Owned()), "");
    Advance(5);
    EXPECT_EQ(host.CountConsoleLines("Inventory snapshot " + sync->Snapshot().File().string() +
                                     " cannot be used (the guid holds characters other than letters, digits and -_.~)"),
              1);
    ASSERT_EQ(SyncRequests().size(), 1u);
    EXPECT_EQ(SyncRequests()[0].url, SyncUrl + "?lastRequest");
    EXPECT_EQ(StoredSnapshot()["guid"], "G1");
}

// A player fixing the time zone or an NTP step in the middle of a cooldown or a retry wait.
TEST_F(InventorySyncTest, ACooldownAndARetryWaitKeepTheirLengthWhenTheWallClockIsSetBackOrForward)
{
    Start();
    Advance(15);
    ASSERT_TRUE(sync->Sync(false));  // the cooldown ends at 25 s
    Advance(2);
    Receive(Item(1));
    host->ShiftWallClock(-std::chrono::hours(1));
    Advance(3);
    EXPECT_EQ(sync->GetSyncStatus(), SyncStatus::CoolingDown);
    EXPECT_LE(sync->NextSyncAllowedAt() - host->SteadyNow(), std::chrono::seconds(5));
    host->ShiftWallClock(std::chrono::hours(24));
    EXPECT_EQ(sync->GetSyncStatus(), SyncStatus::CoolingDown);
    Answer(503, "busy");
    Advance(4.9);
    EXPECT_EQ(SyncRequests().size(), 2u);
    Advance(0.1);
    ASSERT_EQ(SyncRequests().size(), 3u) << "the change waits for the cooldown, not for the clock";

    host->ShiftWallClock(-std::chrono::hours(1));
    Advance(10);
    host->ShiftWallClock(std::chrono::hours(24));
    Advance(19.9);
    EXPECT_EQ(SyncRequests().size(), 3u);
    Advance(0.1);
    EXPECT_EQ(SyncRequests().size(), 4u) << "the retry 30 s after the failure";
}

// The service asks for a wait, in seconds or as a date: no upload goes before it ends, a change
// meanwhile included, and no wait is longer than the longest retry wait.
TEST_F(InventorySyncTest, AWaitA429Or503AsksForHoldsEveryUploadBackUpToTenMinutes)
{
    Start();
    Advance(15);
    Answer(429, R"({"retryAfter":3600})");
    Answer(503, nlohmann::json{{"retryAfter", "Thu, 01 Jan 2026 00:12:20 GMT"}}.dump());  // 2 min after its answer
    Receive(Item(1));
    Advance(5);  // the diff at 20 s gets the 429
    EXPECT_TRUE(host->ConsoleContains("The service asked to wait 600 s before the next inventory sync"));
    EXPECT_TRUE(host->ConsoleContains("Retrying the inventory sync in 600 s"));
    Advance(20);
    Receive(Item(2));
    EXPECT_EQ(sync->GetSyncStatus(), SyncStatus::CoolingDown);
    Advance(579.9);
    EXPECT_EQ(SyncRequests().size(), 2u) << "nothing before the 600 s";
    Advance(0.1);
    ASSERT_EQ(SyncRequests().size(), 3u) << "the retry carries the change made meanwhile";
    EXPECT_TRUE(host->ConsoleContains("The service asked to wait 120 s before the next inventory sync"));
    Advance(119.9);
    EXPECT_EQ(SyncRequests().size(), 3u);
    Advance(0.1);
    EXPECT_EQ(SyncRequests().size(), 4u);
    EXPECT_EQ(host.CountConsoleLines("Unable to sync"), 0);
}

TEST_F(InventorySyncTest, FailedUploadsAreRetriedWithGrowingWaitsAndTheThirdFailedDiffAsAFullSync)
{
    Start();
    Advance(15);
    Receive(Item(1));
    Answer(404, "gone");
    Answer(0, "");
    Answer(503, "busy");
    Answer(500, "oops");
    Answer(200, Guid(6));
    Advance(5);  // the diff at 20 s fails
    ExpectLinesInOrder({"Failed to sync inventory (404), response:\ngone", "Retrying the inventory sync in 30 s"});

    const auto expectRetry = [this](double wait, std::size_t requests) {
        Advance(wait - 0.1);
        EXPECT_EQ(SyncRequests().size(), requests - 1) << "retried before its wait of " << wait << " s";
        Advance(0.1);
        EXPECT_EQ(SyncRequests().size(), requests) << "no retry after " << wait << " s";
    };
    expectRetry(30, 3);
    EXPECT_TRUE(host->ConsoleContains("Retrying the inventory sync in 60 s"));
    expectRetry(60, 4);
    EXPECT_TRUE(host->ConsoleContains("Retrying the inventory sync in 120 s with a full sync"));
    expectRetry(120, 5);
    EXPECT_TRUE(host->ConsoleContains("Retrying the inventory sync in 240 s with a full sync"));
    expectRetry(240, 6);

    const auto requests = SyncRequests();
    for (std::size_t index = 1; index <= 3; ++index) {
        EXPECT_EQ(requests[index].url, SyncUrl + "?lastRequest=G1") << index;
    }
    EXPECT_EQ(requests[4].url, SyncUrl + "?lastRequest");
    EXPECT_EQ(requests[5].url, SyncUrl + "?lastRequest");
    EXPECT_EQ(StoredSnapshot()["guid"], "G6");
    EXPECT_EQ(host.CountConsoleLines("Failed to sync inventory (0), response:\n"), 1);
    int failureToasts = 0;
    for (const auto& toast : host->Toasts()) {
        failureToasts += toast.text.rfind("Failed to sync inventory", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(failureToasts, 1) << "one failure toast per outage";

    // The 200 ended the outage: the waits start over, and the next failure shows its toast.
    Advance(10);
    Answer(502, "bad gateway");
    ASSERT_TRUE(sync->Sync(false));
    host->WaitForHttpIdle();
    EXPECT_EQ(host->Toasts().back().text, "Failed to sync inventory (502)!\nError: bad gateway");
    EXPECT_EQ(host.CountConsoleLines("Retrying the inventory sync in 30 s"), 2);
    // A manual sync meanwhile is the retry: the timer of the failed upload does nothing.
    Advance(10);
    ASSERT_TRUE(sync->Sync(false));
    host->WaitForHttpIdle();
    Advance(60);
    EXPECT_EQ(SyncRequests().size(), 8u);
}

TEST_F(InventorySyncTest, AnInventoryTheHostCannotGiveIsTriedAgainLater)
{
    host->GetWorld().SetItemsAvailable(false);
    Start();
    Advance(5);
    EXPECT_TRUE(host->ConsoleContains("Retrying the inventory sync in 30 s"));
    host->GetWorld().SetItemsAvailable(true);
    Advance(30);
    ASSERT_EQ(SyncRequests().size(), 1u);
    EXPECT_EQ(SyncRequests()[0].url, SyncUrl + "?lastRequest");
}

TEST_F(InventorySyncTest, ASyncFollowsWhenTheUserCodeIsSetOrTheFeatureSwitchedOn)
{
    Start(false);
    Advance(5);
    Receive(Item(1));  // no user code: nothing to sync for yet
    Advance(30);
    EXPECT_TRUE(SyncRequests().empty());

    host->ExecuteConsole("hidden_qvx_user_code abc");
    host->RunUntilIdle();
    EXPECT_TRUE(host->ConsoleContains("User code set; syncing the inventory"));
    Advance(5);
    ASSERT_EQ(SyncRequests().size(), 1u);

    host->ExecuteConsole("qvx_inventorysync_enable 0");
    Advance(15);
    Receive(Item(2));  // switched off: carried by the sync that follows switching on
    Advance(30);
    EXPECT_EQ(SyncRequests().size(), 1u);
    host->ExecuteConsole("qvx_inventorysync_enable 1");
    host->RunUntilIdle();
    EXPECT_TRUE(host->ConsoleContains("Inventory sync switched on; syncing the inventory"));
    Advance(5);
    ASSERT_EQ(SyncRequests().size(), 2u);
    EXPECT_TRUE(host->ConsoleContains("# added: 1, # removed: 0"));
    const auto exchanges = host->HttpExchanges();
    EXPECT_EQ(exchanges[exchanges.size() - 2].url, ToggleUrl + "1");

    // The same code again, or none, is no reason to sync.
    host->ExecuteConsole("hidden_qvx_user_code abc");
    host->ExecuteConsole("hidden_qvx_user_code \"\"");
    Advance(30);
    EXPECT_EQ(SyncRequests().size(), 2u);
}

TEST_F(InventorySyncTest, ASnapshotThatCouldNotBeStoredIsNotTrustedByTheNextSync)
{
    Start();
    Advance(15);
    const std::filesystem::path folder = sync->Snapshot().File().parent_path();
    const std::string accepted = testing::ReadFile(sync->Snapshot().File());
    std::filesystem::remove_all(folder);
    std::ofstream(folder) << "a file where the folder belongs";
    ASSERT_TRUE(sync->Sync(false));
    host->WaitForHttpIdle();
    EXPECT_EQ(host.CountConsoleLines("Could not write the inventory snapshot: cannot create "), 1);

    // The old snapshot comes back, but names a state older than the service's.
    std::filesystem::remove(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(sync->Snapshot().File(), std::ios::binary) << accepted;
    Advance(10);
    ASSERT_TRUE(sync->Sync(false));
    host->WaitForHttpIdle();
    EXPECT_EQ(SyncRequests().back().url, SyncUrl + "?lastRequest");
    EXPECT_EQ(StoredSnapshot()["guid"], "G3");
}

TEST_F(InventorySyncTest, AToggleNeverOvertakesAnUploadStartedBeforeIt)
{
    for (std::uint64_t id = 1; id <= 20000; ++id) {
        host->GetWorld().Items().AddOwnedProduct(Item(id));
    }
    sync = InventorySync::Create(api, store, dispatcher, host->Game(), std::make_unique<WorkerThreadExecutor>());
    host->ExecuteConsole("hidden_qvx_user_code abc");
    ASSERT_TRUE(sync->Sync(true));
    host->ExecuteConsole("qvx_inventorysync_enable 0");
    host->RunUntilIdle();  // the switch's task hands the toggle over
    testing::WaitUntil([&] { return host->HttpExchanges().size() >= 2; }, std::chrono::seconds(60));
    const auto exchanges = host->HttpExchanges();
    ASSERT_EQ(exchanges.size(), 2u);
    EXPECT_EQ(exchanges[0].url, SyncUrl + "?lastRequest");
    EXPECT_EQ(exchanges[1].url, ToggleUrl + "0");
    host->WaitForHttpIdle();
    sync.reset();
}

}  // namespace
}  // namespace quorvex
