#include "sync/LoadoutSync.h"

#include <gtest/gtest.h>

#include "sim/game/Functions.h"
#include "tests/support/FeatureTest.h"

namespace quorvex {
namespace {

const std::string LoadoutPath = "/api/v2/inventory/loadout.php";
const std::string EmptyTeam =
    R"({"accent_finish_id":0,"accent_paint_color_id":0,"items":[],"primary_finish_id":0,"primary_paint_color_id":0})";

class LoadoutSyncTest : public testing::FeatureTest {
protected:
    LoadoutSyncTest()
    {
        host->RunFor(sim::Seconds(0.1));  // the settings load
        host->ExecuteConsole("hidden_qvx_user_code abc");
    }

    void LeaveMenu(const std::string& menu)
    {
        sim::game::PopMenuParams params;
        params.menuName = host->InternName(menu);
        host->CallFunction(sim::game::function::PopMenu, 0, &params);
        host->WaitForHttpIdle();
    }

    std::vector<sim::HttpExchange> Requests() const { return service.RequestsTo(LoadoutPath); }

    std::shared_ptr<LoadoutSync> loadouts = LoadoutSync::Create(api, store, dispatcher, host->Game());
};

TEST_F(LoadoutSyncTest, LeavingTheGarageSyncsOncePerCooldownAndOtherMenusDoNothing)
{
    LeaveMenu("MainMenuMovie");
    LeaveMenu("GarageMainMenuMovieX");
    EXPECT_EQ(host.CountConsoleLines("Exited the garage"), 0);
    EXPECT_TRUE(Requests().empty());

    LeaveMenu("GarageMainMenuMovie");
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].url, api->loadoutUrl);
    EXPECT_EQ(Requests()[0].verb, "");
    EXPECT_EQ(Requests()[0].headers, api->GetHeaders());
    EXPECT_EQ(host.CountConsoleLines("Synced loadout"), 2) << "\"Synced loadout\" and \"Synced loadout.\"";

    host->RunFor(sim::Seconds(9.9));
    EXPECT_EQ(loadouts->GetSyncStatus(), SyncStatus::CoolingDown);
    LeaveMenu("GarageMainMenuMovie");
    EXPECT_EQ(host.CountConsoleLines("Exited the garage"), 2);
    EXPECT_EQ(Requests().size(), 1u);
    EXPECT_FALSE(loadouts->Sync()) << "the settings page's button is refused too";

    host->RunFor(sim::Seconds(0.1));
    LeaveMenu("GarageMainMenuMovie");
    EXPECT_EQ(Requests().size(), 2u);
}

TEST_F(LoadoutSyncTest, RefusedGateSendsNothingAndStartsNoCooldown)
{
    host->ExecuteConsole("hidden_qvx_user_code \"\"");
    LeaveMenu("GarageMainMenuMovie");
    EXPECT_EQ(host.CountConsoleLines("Exited the garage"), 1);
    EXPECT_EQ(loadouts->GetSyncStatus(), SyncStatus::NoUserCode);

    host->ExecuteConsole("hidden_qvx_user_code abc");
    host->ExecuteConsole("qvx_loadoutsync_enable 0");
    LeaveMenu("GarageMainMenuMovie");
    EXPECT_EQ(loadouts->GetSyncStatus(), SyncStatus::Disabled);
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(host.CountConsoleLines("Synced loadout"), 0);

    host->ExecuteConsole("qvx_loadoutsync_enable 1");
    EXPECT_TRUE(loadouts->Sync());
}

TEST_F(LoadoutSyncTest, BodyHoldsBothTeamsWithOwnedAndCatalogueItemsInSlotOrder)
{
    auto& items = host->GetWorld().Items();
    items.AddOwnedProduct({4284, 7, 1, 1001, 3, "Octane", {sim::game::Attribute::Painted(2)}});
    items.AddCatalogueProduct(23, 2);
    items.SetLoadoutName("Main");
    sim::game::Loadout team0;
    team0.items = {0, 23, 1001, 18446744073709551615ull, 0};
    team0.primaryPaintColorId = 255;
    team0.accentPaintColorId = 4;
    team0.primaryFinishId = -1;
    team0.accentFinishId = 270;
    items.SetLoadout(0, team0);

    ASSERT_TRUE(loadouts->Sync());
    host->WaitForHttpIdle();

    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].requestBody,
              R"({"loadout_name":"Main","teams":[{"accent_finish_id":270,"accent_paint_color_id":4,"items":[)"
              R"({"Attributes":[],"ID":23,"InstanceID":0,"Quality":2,"SeriesID":0,"TradeHold":0},)"
              R"({"Attributes":[{"Key":"Painted","Value":"2"}],"ID":4284,"InstanceID":1001,"Quality":3,"SeriesID":7,"TradeHold":1}],)"
              R"("primary_finish_id":-1,"primary_paint_color_id":255},)" +
                  EmptyTeam + "]}");
    EXPECT_EQ(host.CountConsoleLines("Loadout name: Main"), 1);
    EXPECT_EQ(host.CountConsoleLines("Got laodout of team: 0"), 1);
    EXPECT_EQ(host.CountConsoleLines("Failed to get data for item with id: 18446744073709551615"), 1);
    EXPECT_EQ(host.CountConsoleLines("Failed to get loadout of team: 1"), 1);
}

TEST_F(LoadoutSyncTest, WithoutItemsStoreAnEmptyLoadoutIsSent)
{
    host->GetWorld().SetItemsAvailable(false);
    ASSERT_TRUE(loadouts->Sync());
    host->WaitForHttpIdle();
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].requestBody, R"({"loadout_name":"","teams":[)" + EmptyTeam + "," + EmptyTeam + "]}");
    EXPECT_EQ(host.CountConsoleLines("Loadout name:"), 0);
}

TEST_F(LoadoutSyncTest, InvalidUtf8IsReplacedAndLoggedOncePerRequest)
{
    auto& items = host->GetWorld().Items();
    items.SetLoadoutName("Bad\xff name");
    items.AddOwnedProduct({4284, 0, 0, 1001, 0, "Octane", {sim::game::Attribute::OfClass("Bad\xfe")}});
    sim::game::Loadout team;
    team.items = {1001};
    items.SetLoadout(1, team);

    ASSERT_TRUE(loadouts->Sync());
    host->WaitForHttpIdle();
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_NE(Requests()[0].requestBody.find("\"loadout_name\":\"Bad\xEF\xBF\xBD name\""), std::string::npos);
    EXPECT_NE(Requests()[0].requestBody.find("\"Key\":\"Bad\xEF\xBF\xBD\""), std::string::npos);
    EXPECT_EQ(host.CountConsoleLines("Invalid UTF-8 in the loadout sync request replaced with U+FFFD"), 1);
}

TEST_F(LoadoutSyncTest, AnswersFollowTheSharedHandlingWithLoadoutTexts)
{
    service.Answer(LoadoutPath, 200, R"({"ok":true})");
    ASSERT_TRUE(loadouts->Sync());
    host->WaitForHttpIdle();
    ASSERT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host->Toasts()[0].text, "Loadout synced!");
    EXPECT_EQ(host->Toasts()[0].toastType, 0);
    EXPECT_FLOAT_EQ(host->Toasts()[0].seconds, 3.0f);
    EXPECT_TRUE(host->ConsoleContains(R"(LoadoutSync : Code: 200, Response: {"ok":true})"));
    EXPECT_TRUE(host->ConsoleContains("Synced loadout."));
    EXPECT_TRUE(host->ConsoleContains("status: 200, response:\n {\"ok\":true}"));

    host->RunFor(sim::Seconds(10));
    service.Answer(LoadoutPath, 500, "down");
    ASSERT_TRUE(loadouts->Sync());
    host->WaitForHttpIdle();
    EXPECT_TRUE(host->ConsoleContains("500 on loadout sync!"));
    EXPECT_EQ(host->Toasts().size(), 1u);

    host->RunFor(sim::Seconds(10));
    service.Answer(LoadoutPath, 404, "gone");
    ASSERT_TRUE(loadouts->Sync());
    host->WaitForHttpIdle();
    ASSERT_EQ(host->Toasts().size(), 2u);
    EXPECT_EQ(host->Toasts()[1].text, "Failed to sync loadout (404)!\nError: gone");
    EXPECT_TRUE(host->ConsoleContains("Failed to sync loadout (404), response:\ngone"));
}

TEST_F(LoadoutSyncTest, SwitchChangeIsLoggedOnTheGameThread)
{
    host->ExecuteConsole("qvx_loadoutsync_enable 0");
    EXPECT_FALSE(host->ConsoleContains("LoadoutSync::enabled"));
    host->RunUntilIdle();
    EXPECT_TRUE(host->ConsoleContains("LoadoutSync::enabled: true -> false"));
    host->ExecuteConsole("qvx_loadoutsync_enable 1");
    host->RunUntilIdle();
    EXPECT_TRUE(host->ConsoleContains("LoadoutSync::enabled: false -> true"));
}

TEST_F(LoadoutSyncTest, AnswerAfterTheSyncIsGoneDoesNothing)
{
    service.Hold();
    ASSERT_TRUE(loadouts->Sync());
    loadouts.reset();
    service.Release();
    host->WaitForHttpIdle();
    EXPECT_FALSE(host->ConsoleContains("LoadoutSync : Code"));
    EXPECT_TRUE(host->Toasts().empty());
}

}  // namespace
}  // namespace quorvex
