#include "sync/StatsSync.h"

#include <optional>

#include <gtest/gtest.h>

#include "sim/game/Functions.h"
#include "sync/LoadoutSync.h"
#include "tests/support/FeatureTest.h"

namespace quorvex {
namespace {

const std::string StatsPath = "/api/v2/stats/ingame.php";
const std::string LoadoutPath = "/api/v2/inventory/loadout.php";

class StatsSyncTest : public testing::FeatureTest {
protected:
    StatsSyncTest()
    {
        host->RunFor(sim::Seconds(0.1));  // the settings load
        host->ExecuteConsole("hidden_qvx_user_code abc");
    }

    // Ends a match of a game in that playlist (or in none), then leaves the game.
    void EndMatch(std::optional<std::int32_t> playlist)
    {
        host->GetWorld().EnterGame(playlist);
        EndMatchWithoutGame();
        host->GetWorld().LeaveGame();
    }

    void EndMatchWithoutGame()
    {
        host->CallFunction(sim::game::function::EventMatchEnded);
        host->WaitForHttpIdle();
    }

    std::vector<std::string> Bodies() const
    {
        std::vector<std::string> bodies;
        for (const auto& request : service.RequestsTo(StatsPath)) {
            bodies.push_back(request.requestBody);
        }
        return bodies;
    }

    std::shared_ptr<StatsSync> stats = StatsSync::Create(api, store, dispatcher, host->Game());
};

TEST_F(StatsSyncTest, PublicMatchSendsItsPlaylist)
{
    EndMatch(13);
    EXPECT_EQ(Bodies(), std::vector<std::string>{R"({"playlistID":13})"});
    const auto request = service.RequestsTo(StatsPath).at(0);
    EXPECT_EQ(request.url, api->statsUrl);
    EXPECT_EQ(request.verb, "");
    EXPECT_EQ(request.headers, api->GetHeaders());
    EXPECT_TRUE(host->ConsoleContains("Stats sync: Got playlist 13"));
    EXPECT_TRUE(host->ConsoleContains("Synced stats"));
}

TEST_F(StatsSyncTest, NonPublicMatchesSendNothingButStartTheCooldown)
{
    for (const std::int32_t playlist : {6, 7, 8, 9, 19, 20, 21, 26}) {
        SCOPED_TRACE(playlist);
        const int before = host.CountConsoleLines("Not syncing stats because in non-public match");
        EndMatch(playlist);
        EXPECT_EQ(host.CountConsoleLines("Not syncing stats because in non-public match"), before + 1);
        EXPECT_EQ(host.CountConsoleLines("Synced stats"), before + 1);
        EXPECT_EQ(stats->GetSyncStatus(), SyncStatus::CoolingDown);
        host->RunFor(sim::Seconds(10));
    }
    EXPECT_TRUE(Bodies().empty());
}

TEST_F(StatsSyncTest, NoGameOrNoPlaylistSendsPlaylistZero)
{
    EndMatchWithoutGame();
    host->RunFor(sim::Seconds(10));
    EndMatch(std::nullopt);
    EXPECT_EQ(Bodies(), (std::vector<std::string>{R"({"playlistID":0})", R"({"playlistID":0})"}));
}

TEST_F(StatsSyncTest, RefusalsLogTheirReasonAndOnlyAPassedGateStartsTheCooldown)
{
    EndMatch(13);
    EndMatch(13);
    EXPECT_TRUE(host->ConsoleContains("Not syncing, reason: 1"));

    host->RunFor(sim::Seconds(10));
    host->ExecuteConsole("qvx_stats_enable 0");
    EndMatch(13);
    EXPECT_TRUE(host->ConsoleContains("Not syncing, reason: 2"));

    host->ExecuteConsole("hidden_qvx_user_code \"\"");
    EndMatch(13);
    EXPECT_TRUE(host->ConsoleContains("Not syncing, reason: 3"));

    host->ExecuteConsole("hidden_qvx_user_code abc");
    host->ExecuteConsole("qvx_stats_enable 1");
    EXPECT_EQ(stats->GetSyncStatus(), SyncStatus::Ready);
    EndMatch(13);
    EXPECT_EQ(Bodies().size(), 2u);
    EXPECT_EQ(host.CountConsoleLines("Synced stats"), 2);
}

TEST_F(StatsSyncTest, AnswersFollowTheSharedHandlingWithStatsTexts)
{
    EndMatch(13);
    ASSERT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host->Toasts()[0].text, "Stats update requested!");
    EXPECT_EQ(host->Toasts()[0].toastType, 0);
    EXPECT_FLOAT_EQ(host->Toasts()[0].seconds, 3.0f);
    EXPECT_TRUE(host->ConsoleContains("StatsSync : Code: 200, Response: {}"));
    EXPECT_TRUE(host->ConsoleContains("Stats update requested."));
    EXPECT_TRUE(host->ConsoleContains("status: 200, response:\n {}"));

    host->RunFor(sim::Seconds(10));
    service.Answer(StatsPath, 500, "down");
    EndMatch(13);
    EXPECT_TRUE(host->ConsoleContains("500 on stats sync!"));
    EXPECT_EQ(host->Toasts().size(), 1u);

    host->RunFor(sim::Seconds(10));
    service.Answer(StatsPath, 418, "teapot");
    EndMatch(13);
    ASSERT_EQ(host->Toasts().size(), 2u);
    EXPECT_EQ(host->Toasts()[1].text, "Failed to update stats (418)!\nError: teapot");
    EXPECT_TRUE(host->ConsoleContains("Failed to update stats (418), response:\nteapot"));
}

TEST_F(StatsSyncTest, SwitchChangeIsLoggedOnTheGameThread)
{
    host->ExecuteConsole("qvx_stats_enable 0");
    host->RunUntilIdle();
    EXPECT_TRUE(host->ConsoleContains("StatsSync::enabled: true -> false"));
}

TEST_F(StatsSyncTest, RefusalStopsOnlyTheRefusedFeatureUntilItsCvarIsWrittenAgain)
{
    auto loadouts = LoadoutSync::Create(api, store, dispatcher, host->Game());
    service.Answer(LoadoutPath, 401, R"({"message":"Outdated"})");
    ASSERT_TRUE(loadouts->Sync());
    host->WaitForHttpIdle();
    EXPECT_TRUE(host->ConsoleContains("Outdated. Disabling requests for this session."));

    host->RunFor(sim::Seconds(10));
    EXPECT_EQ(loadouts->GetSyncStatus(), SyncStatus::Disabled);
    EXPECT_FALSE(loadouts->Sync());
    EndMatch(13);
    EXPECT_EQ(Bodies().size(), 1u) << "stats go on";

    host->ExecuteConsole("qvx_loadoutsync_enable 0");
    host->ExecuteConsole("qvx_loadoutsync_enable 1");
    service.Answer(LoadoutPath, 200);
    EXPECT_TRUE(loadouts->Sync());
    host->WaitForHttpIdle();
    EXPECT_EQ(service.RequestsTo(LoadoutPath).size(), 2u);
}

}  // namespace
}  // namespace quorvex
