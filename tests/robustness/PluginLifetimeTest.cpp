// The host may unload and delete the plug-in while its work is still pending: requests the
// service has not answered, timers, tasks handed to the game thread, tasks on the inventory
// worker. Once the plug-in object is gone, all of that must come to nothing: no crash, no use of
// freed memory (the suite also runs under AddressSanitizer), no request, toast or dialog, and no
// console line. The same holds for everything the plug-in left registered with the host (hooks,
// cvar callbacks, console commands), which the host never removes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "api/QvxApi.h"
#include "core/PluginEventDispatcher.h"
#include "inventory/InventorySnapshot.h"
#include "inventory/InventorySync.h"
#include "plugin/Quorvex.h"
#include "sim/game/Functions.h"
#include "sync/LoadoutSync.h"
#include "trade/TradeEvents.h"
#include "tests/support/ScriptedService.h"
#include "tests/support/TestHost.h"
#include "tests/support/WaitUntil.h"

namespace quorvex {
namespace {

namespace function = sim::game::function;

const std::string SyncPath = "/api/v2/inventory/smartSync.php";
const std::string LoadoutPath = "/api/v2/inventory/loadout.php";
const std::string StatsPath = "/api/v2/stats/ingame.php";
const std::string ValidateTraderPath = "/api/v2/system/validateTrader.php";
const std::string TogglePath = "/api/v2/inventory/toggleSync.php";

constexpr int OwnedItems = 5000;

std::string SyncAnswer(const std::string& guid)
{
    return nlohmann::json{{"guid", guid}, {"full", true}}.dump();
}

class PluginLifetimeTest : public ::testing::Test {
protected:
    PluginLifetimeTest()
    {
        // Answers that would each make a live plug-in act: store a snapshot and retry, switch a
        // feature off with a toast, open the scammer dialog, show toasts.
        service.Answer(SyncPath, 200, SyncAnswer("G2"));
        service.Answer(LoadoutPath, 401, R"({"message":"Your user code expired"})");
        service.Answer(ValidateTraderPath, 423);
    }

    void Load()
    {
        plugin = std::make_shared<Quorvex>(0);
        plugin->cvarManager = host->CvarManager();
        plugin->gameWrapper = host->Game();
        plugin->onLoad();
    }

    // As the host does it: onUnload, then deleteMe drops the only handle to the plug-in.
    void UnloadAndDelete()
    {
        plugin->onUnload();
        const std::weak_ptr<Quorvex> handle = plugin;
        plugin.reset();
        ASSERT_TRUE(handle.expired());
        consoleAtDeath = host->ConsoleLines().size();
        requestsAtDeath = host->HttpExchanges().size();
        toastsAtDeath = host->Toasts().size();
    }

    // The host goes on: every held answer arrives, every timer and task falls due, and the game,
    // the player and the console trigger everything the plug-in ever registered.
    void LetEverythingPendingComplete()
    {
        service.Release();
        host->WaitForHttpIdle();
        host->RunFor(sim::Seconds(30));

        sim::game::NewOnlineProductParams received{host->GetWorld().Items().AddOwnedProduct(Item(1))};
        host->CallFunction(function::OnNewOnlineProduct, 0, &received);
        host->CallFunction(function::OnNewOnlineProductNoNotify, 0, &received);
        sim::game::RemovedOnlineProductParams removed{0, received.product};
        host->CallFunction(function::HandleRemovedOnlineProduct, 0, &removed);
        sim::game::PopMenuParams garage{host->InternName(LoadoutSync::GarageMenu)};
        host->CallFunction(function::PopMenu, 0, &garage);
        host->CallFunction(function::EventMatchEnded);
        for (const char* trade :
             {function::HandleAcceptedInviteToTrade, function::SendTradeToBackEnd, function::HandleTradePlayerComplete}) {
            host->CallFunction(trade);
        }
        for (const char* line :
             {"hidden_qvx_user_code other", "qvx_inventorysync_enable 1", "qvx_loadoutsync_enable 1",
              "qvx_stats_enable 1", "qvx_toasts_enabled 0", "qvx_scamcheck_enable 0", "qvx_tradesync_enable 0",
              "writeconfig"}) {
            host->ExecuteConsole(line);
        }
        host->WaitForHttpIdle();
        host->RunFor(sim::Seconds(30));
    }

    // What the plug-in did after it was deleted: nothing at all.
    void ExpectNothingSinceDeath()
    {
        const auto lines = host->ConsoleLines();
        std::string logged;
        for (auto line = lines.begin() + static_cast<std::ptrdiff_t>(consoleAtDeath); line != lines.end(); ++line) {
            logged += "\n  " + *line;
        }
        EXPECT_EQ(logged, "") << "console lines after the plug-in was deleted";
        EXPECT_EQ(host->HttpExchanges().size(), requestsAtDeath) << "requests sent after the plug-in was deleted";
        EXPECT_EQ(host->Toasts().size(), toastsAtDeath) << "toasts shown after the plug-in was deleted";
        EXPECT_TRUE(host->Modals().empty()) << "the scammer dialog opened after the plug-in was deleted";
    }

    static sim::game::Product Item(std::uint64_t instanceId)
    {
        return {23, 1, 0, instanceId, 3, "Octane", {sim::game::Attribute::Painted(2)}};
    }

    // Bounded, so that a plug-in that never logs fails the test instead of hanging it.
    bool WaitForConsoleLine(const std::string& text)
    {
        return testing::WaitUntil([&] { return host->ConsoleContains(text); }, std::chrono::seconds(60));
    }

    testing::TestHost host;
    testing::ScriptedService service{host.host()};
    std::shared_ptr<Quorvex> plugin;
    std::size_t consoleAtDeath = 0;
    std::size_t requestsAtDeath = 0;
    std::size_t toastsAtDeath = 0;
};

TEST_F(PluginLifetimeTest, DeletedWhileEveryKindOfWorkIsPendingDoesNothingAfterwards)
{
    // An inventory of 5,000 items and the snapshot of an older, smaller one, so the start-up
    // sync is a diff and each snapshot write takes a moment.
    for (std::uint64_t id = 1; id <= OwnedItems; ++id) {
        host->GetWorld().Items().AddOwnedProduct(Item(id));
    }
    const InventorySnapshot snapshot(host->Game()->GetDataFolder());
    ASSERT_EQ(snapshot.Write("G1", std::vector<ProductData>(100, ProductData{23, 1, 0, 1, 3, {}})), "");

    Load();
    host->RunFor(sim::Seconds(0.1));
    host->ExecuteConsole("hidden_qvx_user_code abc");

    // The start-up sync is accepted with a request for a full resync: the snapshot is stored and
    // the resync timer set for 10.1 s later.
    host->RunFor(sim::Seconds(5));
    ASSERT_TRUE(WaitForConsoleLine("Full resync requested, retrying in 10 secs..."));

    // Just before that timer is due, with the cooldown over: a product arrives (a 5-second
    // debounce timer), and a full sync is accepted, whose snapshot write goes to the worker.
    host->RunFor(sim::Seconds(10.05));
    sim::game::NewOnlineProductParams received{host->GetWorld().Items().AddOwnedProduct(Item(OwnedItems + 1))};
    host->CallFunction(function::OnNewOnlineProduct, 0, &received);
    service.Answer(SyncPath, 200, R"({"guid":"G3","full":false})");
    ASSERT_TRUE(plugin->inventorySync->Sync(true));
    ASSERT_TRUE(WaitForConsoleLine("Got guid G3"));
    host->WaitForHttpIdle();  // the answer's callback has returned: the write is on the worker

    // Requests the service holds: loadout, stats, partner check.
    service.Hold();
    sim::game::PopMenuParams garage{host->InternName(LoadoutSync::GarageMenu)};
    host->CallFunction(function::PopMenu, 0, &garage);
    host->GetWorld().EnterGame(10);
    host->CallFunction(function::EventMatchEnded);
    plugin->dispatcher->Dispatch(EventType::TradeStart, TradeStart(TradeDetails{}));
    // Switch changes, each handing a task to the game thread (one of them would send a request).
    for (const char* line : {"qvx_inventorysync_enable 0", "qvx_loadoutsync_enable 0", "qvx_stats_enable 0"}) {
        host->ExecuteConsole(line);
    }
    for (const std::string& path : {LoadoutPath, StatsPath, ValidateTraderPath}) {
        ASSERT_EQ(service.RequestsTo(path).size(), 1u) << path;
    }
    ASSERT_TRUE(service.RequestsTo(TogglePath).empty());

    UnloadAndDelete();
    LetEverythingPendingComplete();
    ExpectNothingSinceDeath();

    // The worker's write ran whole, or not at all: then no snapshot is left, since the first
    // answer asked for a full sync.
    if (std::filesystem::exists(snapshot.File())) {
        const auto stored = nlohmann::json::parse(testing::ReadFile(snapshot.File()));
        EXPECT_EQ(stored.at("guid"), "G3");
        EXPECT_EQ(stored.at("items").size(), OwnedItems + 1u);
    }
}

TEST_F(PluginLifetimeTest, DeletedRightAfterLoadRunsNoneOfItsTimersOrTasks)
{
    // Saved settings the load, 0.1 s after start, would apply: linked, inventory sync off (which
    // sends the toggle request).
    const std::string saved = "hidden_qvx_user_code \"abc\" //User code for QVX\n"
                              "qvx_inventorysync_enable \"0\" //If Inventory sync should be enbled\n";
    std::ofstream(host.cfgFile()) << saved;
    Load();
    host->ExecuteConsole("qvx_loadoutsync_enable 0");

    UnloadAndDelete();
    LetEverythingPendingComplete();
    ExpectNothingSinceDeath();
    EXPECT_TRUE(host->HttpExchanges().empty());
    EXPECT_EQ(testing::ReadTextFile(host.cfgFile()), saved) << "a store that never loaded keeps the saved file";
}

#ifndef _WIN32
TEST_F(PluginLifetimeTest, DeletedWhileItsWorkerIsStuckOnTheSnapshotReturnsAndSendsNothing)
{
    // A FIFO where the snapshot belongs: opening it for reading waits for a writer, and reading
    // waits for data, for as long as nobody writes.
    const InventorySnapshot snapshot(host->Game()->GetDataFolder());
    std::filesystem::create_directories(snapshot.File().parent_path());
    ASSERT_EQ(::mkfifo(snapshot.File().c_str(), 0600), 0);
    std::ofstream(host.cfgFile()) << "hidden_qvx_user_code \"abc\" //User code for QVX\n";
    Load();
    host->RunFor(sim::Seconds(5));  // the start-up sync is a diff: the worker opens the FIFO

    // Waiting for the worker would wait for ever. (Had it not begun the read yet, it is dropped.)
    auto deleted = std::async(std::launch::async, [this] { UnloadAndDelete(); });
    if (deleted.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        // The deleting thread cannot be stopped, nor this test end normally while it runs.
        std::fprintf(stderr, "FAILED: deleteMe waited for the worker stuck on the snapshot\n");
        std::_Exit(1);
    }
    deleted.get();

    // A writer that comes and goes lets a reader in the FIFO go on (to an empty file); then the
    // writer's open fails once the worker has let go of it.
    const int writer = ::open(snapshot.File().c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) {
        ::close(writer);
        const bool readerGone = testing::WaitUntil(
            [&] {
                const int probe = ::open(snapshot.File().c_str(), O_WRONLY | O_NONBLOCK);
                if (probe >= 0) {
                    ::close(probe);
                }
                return probe < 0;
            },
            std::chrono::seconds(60));
        ASSERT_TRUE(readerGone) << "the worker never finished its read";
    }
    LetEverythingPendingComplete();
    ExpectNothingSinceDeath();
}
#endif

}  // namespace
}  // namespace quorvex
