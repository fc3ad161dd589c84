#include "api/QvxApi.h"

#include <gtest/gtest.h>

#include <vector>

#include "api/SyncFeature.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/SafeText.h"
#include "core/ToastHandler.h"
#include "plugin/Version.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

using Headers = QvxApi::Headers;

struct HeadersCase {
    std::string idString;
    Headers expectedIdHeaders;
};

class QvxApiHeadersTest : public ::testing::TestWithParam<HeadersCase> {};

TEST_P(QvxApiHeadersTest, IdHeadersFollowTheFieldsOfThePlayersIdString)
{
    testing::TestHost host(GetParam().idString);
    auto store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true);
    QvxApi api(host->Game(), UserCode::Create(store, std::make_shared<PluginEventDispatcher>()),
               QUORVEX_VERSION_HEADER_TEXT);
    host->ExecuteConsole("hidden_qvx_user_code code42");

    Headers expected{
        {"x-qvx-key", "3f9d1c7a2b8e4f60d5a1c9b7e2f4083a6d1b5c97"},
        {"x-qvx-user-code", "code42"},
        {"x-qvx-version", "1.0.1+225"},
    };
    expected.insert(GetParam().expectedIdHeaders.begin(), GetParam().expectedIdHeaders.end());
    EXPECT_EQ(api.GetHeaders(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    IdStrings, QvxApiHeadersTest,
    ::testing::Values(HeadersCase{"Steam", {}},
                      HeadersCase{"|", {{"x-qvx-user-platform", ""}, {"x-qvx-user-id", ""}}},
                      HeadersCase{"Epic|abc", {{"x-qvx-user-platform", "Epic"}, {"x-qvx-user-id", "abc"}}},
                      HeadersCase{"Steam|7656|0", {{"x-qvx-user-platform", "Steam"}, {"x-qvx-user-id", "7656"}}},
                      HeadersCase{"PS4||0|x", {{"x-qvx-user-platform", "PS4"}, {"x-qvx-user-id", ""}}}));

class QvxApiTest : public ::testing::Test {
protected:
    testing::TestHost host;
    std::shared_ptr<PersistentStorage> store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true);
    QvxApi api{host->Game(), UserCode::Create(store, std::make_shared<PluginEventDispatcher>()),
               QUORVEX_VERSION_HEADER_TEXT};
};

TEST_F(QvxApiTest, EndpointsAndRequests)
{
    EXPECT_EQ(api.smartSyncUrl, "https://api.quorvex.com/api/v2/inventory/smartSync.php");
    EXPECT_EQ(api.toggleSyncUrl, "https://api.quorvex.com/api/v2/inventory/toggleSync.php?status={}");
    EXPECT_EQ(api.loadoutUrl, "https://api.quorvex.com/api/v2/inventory/loadout.php");
    EXPECT_EQ(api.statsUrl, "https://api.quorvex.com/api/v2/stats/ingame.php");
    EXPECT_EQ(api.validateTraderUrl, "https://api.quorvex.com/api/v2/system/validateTrader.php");
    EXPECT_EQ(api.logIngameTradeUrl, "https://api.quorvex.com/api/v2/trading/logIngameTrade.php");

    const CurlRequest request = api.BuildRequest(api.loadoutUrl, "{}");
    EXPECT_EQ(request.url, api.loadoutUrl);
    EXPECT_EQ(request.verb, "");
    EXPECT_EQ(request.body, "{}");
    EXPECT_EQ(request.headers, api.GetHeaders());
}

struct MessageCase {
    std::string body;
    std::string expected;
    std::string logged;  // empty: nothing may be logged
};

class ResponseMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ResponseMessageTest, ReadsTheMessageOrGivesEmptyWithoutThrowing)
{
    testing::TestHost host;
    const auto linesBefore = host->ConsoleLines().size();

    EXPECT_EQ(QvxApi::GetResponseMessageOrEmpty(GetParam().body), GetParam().expected);

    const auto lines = host->ConsoleLines();
    if (GetParam().logged.empty()) {
        EXPECT_EQ(lines.size(), linesBefore);
    } else {
        ASSERT_EQ(lines.size(), linesBefore + 1);
        EXPECT_EQ(lines.back().rfind(GetParam().logged, 0), 0u) << lines.back();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ResponseMessageTest,
    ::testing::Values(MessageCase{R"({"message":"Your key {0} is old"})", "Your key {0} is old", ""},
                      MessageCase{R"({"other":1})", "", ""}, MessageCase{"[1,2]", "", ""},
                      MessageCase{R"("message")", "", ""},
                      MessageCase{R"({"message":5})", "", "Exception thrown while parsing respose message: "},
                      MessageCase{"", "", "Invalid Json in response: "},
                      MessageCase{"<html>", "", "Invalid Json in response: "}));

// The service's answers reach the console and toasts through the shared result handling. What
// comes back is bounded and shown safe there, whatever the body holds.
class HostileAnswerTest : public ::testing::Test {
protected:
    void SetUp() override { host->RunFor(sim::Seconds(0.1)); }

    void Handle(int status, const std::string& body)
    {
        feature.HandleResponse(Texts, status, body, [] {});
    }

    // No line holds a control character other than the line breaks of the lines' own texts.
    void ExpectNoRawControls()
    {
        for (const auto& line : host->ConsoleLines()) {
            for (const char c : line) {
                EXPECT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == '\x7f') << line;
            }
        }
    }

    static constexpr SyncResponseTexts Texts{"StatsSync : Code: {}, Response: {}", "500 on stats sync!",
                                             "Failed to update stats ({})!\nError: {}",
                                             "Failed to update stats ({}), response:\n{}"};
    testing::TestHost host;
    std::shared_ptr<PersistentStorage> store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true);
    std::shared_ptr<PluginEventDispatcher> dispatcher = std::make_shared<PluginEventDispatcher>();
    std::shared_ptr<ToastHandler> toasts = ToastHandler::Create(dispatcher, host->Game(), host->CvarManager(), store);
    std::shared_ptr<QvxApi> api =
        std::make_shared<QvxApi>(host->Game(), UserCode::Create(store, dispatcher), QUORVEX_VERSION_HEADER_TEXT);
    SyncFeature feature{api, dispatcher};
};

TEST_F(HostileAnswerTest, ABigFailureBodyIsCutInTheLogAndTheToast)
{
    const std::string body = "<html>" + std::string(100000, 'x') + "</html>";
    Handle(404, body);

    ASSERT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host->Toasts()[0].text,
              "Failed to update stats (404)!\nError: <html>" + std::string(506, 'x') + "\u2026 (100013 bytes)");
    const std::string cut = "<html>" + std::string(4090, 'x') + "\u2026 (100013 bytes)";
    EXPECT_TRUE(host->ConsoleContains("StatsSync : Code: 404, Response: " + cut));
    EXPECT_TRUE(host->ConsoleContains("Failed to update stats (404), response:\n" + cut));
    for (const auto& line : host->ConsoleLines()) {
        EXPECT_LT(line.size(), 4200u);
    }
}

TEST_F(HostileAnswerTest, ControlCharactersInAnswersCannotForgeLines)
{
    Handle(418, "teapot\nPlugin loaded!\r\x1b[2K");
    Handle(401, R"({"message":"revoked\nInventory synced!\u001b[1A"})");

    ExpectNoRawControls();
    EXPECT_TRUE(host->ConsoleContains("Failed to update stats (418), response:\nteapot\\nPlugin loaded!\\r\\x1b[2K"));
    EXPECT_TRUE(host->ConsoleContains("revoked\\nInventory synced!\\x1b[1A. Disabling requests for this session."));
    ASSERT_EQ(host->Toasts().size(), 2u);
    EXPECT_EQ(host->Toasts()[1].text, "revoked\\nInventory synced!\\x1b[1A");
}

TEST_F(HostileAnswerTest, ABodyOver16MiBIsNotReadAndTheAnswerIsHandledByItsStatus)
{
    const std::string body = R"({"message":")" + std::string(MaxKeptBodyBytes, 'm') + R"("})";
    Handle(401, body);

    ASSERT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host->Toasts()[0].text, "Plugin outdated or other issue found. Please create a support ticket on Quorvex.");
    EXPECT_EQ(feature.GetSyncStatus(), SyncStatus::NoUserCode);
    EXPECT_FALSE(*feature.enabled);
    EXPECT_EQ(host.CountConsoleLines("Invalid Json"), 0);
    EXPECT_EQ(host.CountConsoleLines("(" + std::to_string(body.size()) + " bytes)"), 1);
}

}  // namespace
}  // namespace quorvex
