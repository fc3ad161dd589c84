#include <string>

#include <gtest/gtest.h>

#include "tools/plexar-sim/SettingsWindowCast.h"

namespace plexarsim {
namespace {

using Plexar::Plugin::PlexarPlugin;
using Plexar::Plugin::PluginSettingsWindow;

class PluginWithoutPage : public PlexarPlugin {
};

// The settings window is the second base, so its part does not start at the object's address.
class PluginWithPage : public PlexarPlugin, public PluginSettingsWindow {
public:
    void RenderSettings() override {}
    std::string GetDisplayName() override { return "page"; }
    void SetUiContext(std::uintptr_t) override {}
};

class DerivedPluginWithPage : public PluginWithPage {
};

TEST(SettingsWindowOf, FindsTheSettingsWindowPartOfThePlugin)
{
    PluginWithPage plugin;
    DerivedPluginWithPage derived;
    PluginWithoutPage plain;

    EXPECT_EQ(SettingsWindowOf(plugin), static_cast<PluginSettingsWindow*>(&plugin));
    EXPECT_EQ(SettingsWindowOf(derived), static_cast<PluginSettingsWindow*>(&derived));
    EXPECT_EQ(SettingsWindowOf(plain), nullptr);
}

}  // namespace
}  // namespace plexarsim
