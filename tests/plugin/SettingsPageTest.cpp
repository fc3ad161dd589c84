// The settings page as the host draws it: frames read back from the host's settings window, the
// plug-in loaded whole into a substitute host on virtual time.
#include "plugin/SettingsPage.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Events.h"
#include "core/PluginEventDispatcher.h"
#include "inventory/InventorySync.h"
#include "plugin/Quorvex.h"
#include "sim/ui/SettingsWindow.h"
#include "sync/LoadoutSync.h"
#include "tests/support/ScriptedService.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

using sim::ui::DrawnItem;
using sim::ui::Frame;

const char* const SyncInventory = "Sync Inventory";
const char* const SyncLoadout = "Sync Loadout";
const char* const EnableToasts = "Enable toasts";
const char* const LinkHint = "You do not have an user code set! Please visit quorvex.com/sync to get one";
const char* const InventoryPath = "/api/v2/inventory/smartSync.php";
// What the inventory sync logs first whenever it is called.
const char* const AttemptingSync = "Attempting sync...";
const char* const LoadoutPath = "/api/v2/inventory/loadout.php";

const std::vector<std::string> FeatureCvars = {"qvx_inventorysync_enable", "qvx_loadoutsync_enable",
                                               "qvx_stats_enable", "qvx_scamcheck_enable", "qvx_tradesync_enable"};

bool IsRed(const sim::ui::Colour& c)
{
    return c.r == 1 && c.g == 0 && c.b == 0 && c.a == 1;
}

bool IsGreen(const sim::ui::Colour& c)
{
    return c.r == 0 && c.g == 1 && c.b == 0 && c.a == 1;
}

// The texts drawn on the item's row after it.
std::vector<std::string> Beside(const Frame& frame, const DrawnItem& item)
{
    std::vector<std::string> texts;
    for (const DrawnItem* other : frame.RowOf(item)) {
        if (other->box.x > item.box.x) {
            texts.push_back(other->text);
        }
    }
    return texts;
}

class SettingsPageTest : public ::testing::Test {
protected:
    SettingsPageTest()
    {
        service.Answer(InventoryPath, 200, R"({"guid": "G1", "full": false})");
        plugin->cvarManager = host->CvarManager();
        plugin->gameWrapper = host->Game();
    }

    // Loads the plug-in and lets the start-up sync go by without a user code, so no cooldown runs.
    void Load()
    {
        plugin->onLoad();
        plugin->SetUiContext(window.UiContext());
        Advance(6);
    }

    void Link() { host->ExecuteConsole("hidden_qvx_user_code abc"); }

    void Advance(double seconds)
    {
        host->RunFor(sim::Seconds(seconds));
        host->WaitForHttpIdle();
    }

    const Frame& Draw() { return window.Draw(*plugin); }

    std::string CvarValue(const std::string& name) { return host->CvarManager()->getCvar(name).getStringValue(); }

    testing::TestHost host;
    testing::ScriptedService service{host.host()};
    sim::ui::SettingsWindow window;
    std::shared_ptr<Quorvex> plugin = std::make_shared<Quorvex>(0);  // any free port for the linking server
};

TEST_F(SettingsPageTest, WithoutUserCodeBothSyncsAreGreyedAndThePageSaysWhereToGetOne)
{
    Load();
    const Frame& frame = Draw();

    EXPECT_TRUE(frame.Contains("Quorvex")) << "the window's title";
    EXPECT_TRUE(frame.Contains("Features enable/disable"));
    for (const char* label : {"Enable inventory sync (Syncs your tradable inventory with Quorvex)",
                              "Enable loadout sync (Syncs your current loadout with Quorvex - Coming soon!)",
                              "Enable stats & ranks live updates (Updates your stats & ranks on Quorvex everytime "
                              "you finish a ranked match)",
                              "Enable trade scammer check (Shows a warning if you're about to trade with a scammer)",
                              "Enable trade logging (Allows Quorvex staff to validate your ingame trades on disputes)",
                              EnableToasts}) {
        const DrawnItem& item = frame.Get(label);
        EXPECT_EQ(item.kind, DrawnItem::Kind::Checkbox) << label;
        EXPECT_TRUE(item.ticked) << label << " is on by default";
    }
    EXPECT_TRUE(IsRed(frame.Get("User code not set").colour));
    EXPECT_FALSE(frame.Contains("User code set"));
    for (const char* button : {SyncInventory, SyncLoadout}) {
        const DrawnItem& item = frame.Get(button);
        EXPECT_EQ(item.kind, DrawnItem::Kind::Button);
        EXPECT_NEAR(item.colour.a, 0.5f, 1.0f / 255) << button;
        EXPECT_TRUE(Beside(frame, item).empty()) << button;
    }
    EXPECT_EQ(frame.Items().back().text, LinkHint) << "the last line";

    const int attempts = host.CountConsoleLines(AttemptingSync);
    window.Click(*plugin, SyncInventory);
    window.Click(*plugin, SyncLoadout);
    Advance(1);
    EXPECT_EQ(host.CountConsoleLines(AttemptingSync), attempts) << "greyed buttons start nothing";
    EXPECT_TRUE(service.RequestsTo(LoadoutPath).empty());
}

TEST_F(SettingsPageTest, PageFollowsTheUserCodeAndTheFeatureSwitches)
{
    Load();
    Link();
    host->ExecuteConsole("qvx_inventorysync_enable 0");
    const Frame& frame = Draw();

    EXPECT_TRUE(IsGreen(frame.Get("User code set").colour));
    EXPECT_FALSE(frame.Contains("User code not set"));
    EXPECT_FALSE(frame.Contains(LinkHint));
    EXPECT_FALSE(frame.Get("Enable inventory sync (Syncs your tradable inventory with Quorvex)").ticked);
    const DrawnItem& inventory = frame.Get(SyncInventory);
    EXPECT_TRUE(inventory.Greyed());
    EXPECT_EQ(Beside(frame, inventory), std::vector<std::string>{"Disabled"});
    const DrawnItem& loadout = frame.Get(SyncLoadout);
    EXPECT_FALSE(loadout.Greyed());
    EXPECT_TRUE(Beside(frame, loadout).empty());

    const int attempts = host.CountConsoleLines(AttemptingSync);
    window.Click(*plugin, SyncInventory);
    Advance(1);
    EXPECT_EQ(host.CountConsoleLines(AttemptingSync), attempts) << "a switched-off sync cannot be started";

    window.Click(*plugin, "Enable stats & ranks live updates (Updates your stats & ranks on Quorvex everytime you "
                          "finish a ranked match)");
    EXPECT_EQ(CvarValue("qvx_stats_enable"), "0");
    window.Click(*plugin, "Enable inventory sync (Syncs your tradable inventory with Quorvex)");
    EXPECT_EQ(CvarValue("qvx_inventorysync_enable"), "1");
    EXPECT_FALSE(Draw().Get(SyncInventory).Greyed());
}

TEST_F(SettingsPageTest, ManualInventorySyncCountsItsCooldownDownAndLeavesTheLoadoutAlone)
{
    Load();
    Link();
    Draw();

    window.Click(*plugin, SyncInventory);
    EXPECT_EQ(plugin->inventorySync->GetSyncStatus(), SyncStatus::Ready) << "the click only queued the sync";
    host->RunUntilIdle();
    const auto started = host->SteadyNow();
    EXPECT_EQ(plugin->inventorySync->NextSyncAllowedAt(), started + std::chrono::seconds(10));

    auto expectWaiting = [&](int seconds) {
        const Frame& frame = Draw();
        const DrawnItem& inventory = frame.Get(SyncInventory);
        EXPECT_TRUE(inventory.Greyed()) << seconds;
        EXPECT_EQ(Beside(frame, inventory),
                  std::vector<std::string>{"Please wait " + std::to_string(seconds) +
                                           " seconds before syncing inventory again!"});
        EXPECT_FALSE(frame.Get(SyncLoadout).Greyed()) << "the loadout keeps its own cooldown";
    };
    Advance(0.5);
    for (int seconds = 9; seconds > 0; --seconds) {
        expectWaiting(seconds);
        Advance(1.0);
    }
    expectWaiting(0);
    Advance(0.25);
    expectWaiting(0);
    host->RunFor(sim::Seconds(0.25));
    ASSERT_EQ(host->SteadyNow(), started + std::chrono::seconds(10));
    const Frame& frame = Draw();
    EXPECT_FALSE(frame.Get(SyncInventory).Greyed()) << "usable again 10 s after the sync started";
    EXPECT_TRUE(Beside(frame, frame.Get(SyncInventory)).empty());
}

TEST_F(SettingsPageTest, ManualLoadoutSyncGreysOnlyTheLoadoutButton)
{
    Load();
    Link();
    Draw();

    window.Click(*plugin, SyncLoadout);
    host->RunUntilIdle();
    Advance(0.5);
    const Frame& frame = Draw();

    EXPECT_EQ(service.RequestsTo(LoadoutPath).size(), 1u);
    EXPECT_EQ(Beside(frame, frame.Get(SyncLoadout)),
              std::vector<std::string>{"Please wait 9 seconds before syncing loadout again!"});
    EXPECT_FALSE(frame.Get(SyncInventory).Greyed());
}

TEST_F(SettingsPageTest, UntickingToastsSwitchesThemOffUntilTickedAgain)
{
    Load();
    Draw();

    window.Click(*plugin, EnableToasts);
    EXPECT_EQ(CvarValue("qvx_toasts_enabled"), "0");
    EXPECT_FALSE(Draw().Get(EnableToasts).ticked);
    plugin->dispatcher->Dispatch(EventType::Toast, ToastEvent("hidden", 0, 3.0f));
    EXPECT_TRUE(host->Toasts().empty());

    window.Click(*plugin, EnableToasts);
    EXPECT_EQ(CvarValue("qvx_toasts_enabled"), "1");
    plugin->dispatcher->Dispatch(EventType::Toast, ToastEvent("shown", 0, 3.0f));
    const auto toasts = host->Toasts();
    ASSERT_EQ(toasts.size(), 1u) << "toasts posted while off are not replayed";
    EXPECT_EQ(toasts[0].text, "shown");
}

TEST_F(SettingsPageTest, BeforeLoadMissingCvarsAndServicesAreShownAndNothingCanBeStarted)
{
    plugin->SetUiContext(window.UiContext());
    host->CvarManager()->registerCvar("qvx_loadoutsync_enable", "0");
    const Frame& frame = Draw();

    for (const auto& cvar : FeatureCvars) {
        EXPECT_EQ(frame.Contains("cvar " + cvar + " not found"), cvar != "qvx_loadoutsync_enable") << cvar;
    }
    EXPECT_FALSE(frame.Get("Enable loadout sync (Syncs your current loadout with Quorvex - Coming soon!)").ticked);
    EXPECT_TRUE(IsRed(frame.Get("User code not set").colour));
    for (const char* widget : {EnableToasts, SyncInventory, SyncLoadout}) {
        const DrawnItem& item = frame.Get(widget);
        EXPECT_TRUE(item.Greyed()) << widget;
        EXPECT_EQ(Beside(frame, item), std::vector<std::string>{SettingsPage::NotLoadedText}) << widget;
    }
    EXPECT_TRUE(frame.Contains(LinkHint));

    window.Click(*plugin, SyncInventory);
    window.Click(*plugin, EnableToasts);
    host->RunUntilIdle();
    EXPECT_EQ(host.CountConsoleLines("Exception"), 0);
}

TEST_F(SettingsPageTest, AfterUnloadThePageStillWorks)
{
    Load();
    Link();
    plugin->onUnload();
    const Frame& frame = Draw();
    EXPECT_TRUE(frame.Contains("User code set"));
    EXPECT_FALSE(frame.Get(SyncLoadout).Greyed());
}

TEST_F(SettingsPageTest, WithoutTheHostsContextNothingIsDrawnAndTheReasonIsLogged)
{
    Load();
    plugin->SetUiContext(0);
    EXPECT_TRUE(host->ConsoleContains("Exception in Quorvex::SetUiContext: the host handed no ImGui context"));

    plugin->RenderSettings();
    EXPECT_TRUE(host->ConsoleContains("Exception in Quorvex::RenderSettings: no ImGui frame to draw in"));

    plugin->SetUiContext(window.UiContext());
    plugin->RenderSettings();  // the context, but no frame
    EXPECT_EQ(host.CountConsoleLines("Exception in Quorvex::RenderSettings"), 2);
    EXPECT_TRUE(Draw().Contains(SyncInventory)) << "drawn again inside the host's frame";
}

}  // namespace
}  // namespace quorvex
