#include "plugin/Quorvex.h"

#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "api/QvxApi.h"
#include "core/PluginEventDispatcher.h"
#include "core/ToastHandler.h"
#include "plugin/Exports.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

using Plexar::Plugin::PlexarPlugin;

TEST(ExportsTest, RecordDescribesThePluginToTheHost)
{
    EXPECT_EQ(exports.sdkBuildVersion, 95u);
    EXPECT_STREQ(exports.className, "Quorvex");
    EXPECT_STREQ(exports.pluginName, "Quorvex");
    EXPECT_STREQ(exports.pluginVersion, "1.0.1.225");
    EXPECT_EQ(exports.pluginType, 1u);
    EXPECT_NE(std::strstr(exports.sourceFile, "Exports.cpp"), nullptr) << exports.sourceFile;
    EXPECT_EQ(exports.createPlugin, &getPlugin);
    EXPECT_EQ(exports.deletePlugin, &deleteMe);
}

TEST(ExportsTest, GetPluginCreatesOneObjectAndDeleteMeDropsIt)
{
    deleteMe();  // nothing to delete: does nothing
    const std::uintptr_t first = getPlugin();
    const std::uintptr_t second = getPlugin();
    EXPECT_EQ(first, second);
    auto& handle = *reinterpret_cast<std::shared_ptr<PlexarPlugin>*>(first);
    ASSERT_TRUE(handle);
    std::weak_ptr<PlexarPlugin> plugin = handle;
    EXPECT_EQ(dynamic_cast<Quorvex*>(handle.get())->GetDisplayName(), "Quorvex");

    deleteMe();
    EXPECT_TRUE(plugin.expired());
    deleteMe();
}

class QuorvexTest : public ::testing::Test {
protected:
    void Load()
    {
        plugin = std::make_shared<Quorvex>(0);  // any free port for the linking server
        plugin->cvarManager = host->CvarManager();
        plugin->gameWrapper = host->Game();
        plugin->onLoad();
    }

    testing::TestHost host;
    std::shared_ptr<Quorvex> plugin;
};

TEST_F(QuorvexTest, LoadBuildsTheServicesAndUnloadOnlyLogs)
{
    Load();
    EXPECT_TRUE(host->ConsoleContains("Plugin loaded!"));
    EXPECT_TRUE(plugin->dispatcher && plugin->api && plugin->toastHandler && plugin->persistentStorage);
    const auto textures = host->Textures();
    ASSERT_EQ(textures.size(), 1u);
    EXPECT_EQ(textures[0].first, "qvx_logo");
    EXPECT_EQ(textures[0].second, "./data/qvxinventorysync/qvx_logo.tga");

    plugin->onUnload();
    EXPECT_TRUE(host->ConsoleContains("Plugin unloaded!"));
    host->ExecuteConsole("hidden_qvx_user_code abc");
    EXPECT_EQ(plugin->api->userCode->Get(), "abc") << "services keep working after unload";
}

TEST_F(QuorvexTest, ScammerEventShowsTheWarningModal)
{
    Load();
    plugin->dispatcher->Dispatch(EventType::TradeScammer, TradeScammer());

    const auto modals = host->Modals();
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0].title, "Scammer detected");
    EXPECT_EQ(modals[0].icon, "Texture2D gfx_shared.Icon_Alert");
    EXPECT_EQ(modals[0].body,
              "You are currently trading with a Skyvolt account which has been banned from Quorvex for scamming.\n"
              "Proceed with caution!");
    ASSERT_EQ(modals[0].buttons.size(), 1u);
    EXPECT_EQ(modals[0].buttons[0].text, "OK");
    EXPECT_TRUE(modals[0].buttons[0].isCancel);
}

TEST_F(QuorvexTest, SavedSettingsApplyAfterLoadAndDestructionSavesThem)
{
    std::ofstream(host.cfgFile()) << "qvx_toasts_enabled \"0\" //If QVX toasts should pop up\n";
    Load();
    host->RunFor(sim::Seconds(0.1));
    plugin->dispatcher->Dispatch(EventType::Toast, ToastEvent("hidden", 0, 3.0f));
    EXPECT_TRUE(host->Toasts().empty());

    plugin.reset();
    const std::string saved = testing::ReadTextFile(host.cfgFile());
    EXPECT_NE(saved.find("hidden_qvx_user_code \"\" //User code for QVX\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("qvx_toasts_enabled \"0\" //If QVX toasts should pop up\n"), std::string::npos) << saved;
}

}  // namespace
}  // namespace quorvex
