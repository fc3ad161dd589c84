// The plug-in's one version: every reader of plugin/Version.h passes on the same four numbers.
#include "plugin/Version.h"

#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "api/QvxApi.h"
#include "plugin/Exports.h"
#include "plugin/Quorvex.h"
#include "tests/support/TestHost.h"
#include "tools/qvx-devservice/ApiHandlers.h"

namespace quorvex {
namespace {

constexpr int Numbers[] = {QUORVEX_VERSION_MAJOR, QUORVEX_VERSION_MINOR, QUORVEX_VERSION_PATCH,
                           QUORVEX_VERSION_BUILD};

TEST(VersionTest, TheRecordTheServiceHeaderAndTheLocalServiceTellTheSameVersion)
{
    const std::string dotted = fmt::format("{}.{}.{}.{}", Numbers[0], Numbers[1], Numbers[2], Numbers[3]);
    const std::string header = fmt::format("{}.{}.{}+{}", Numbers[0], Numbers[1], Numbers[2], Numbers[3]);
    EXPECT_EQ(exports.pluginVersion, dotted);
    EXPECT_EQ(qvxdev::PluginVersion, header) << "the local service would refuse the plug-in";

    // What the loaded plug-in's requests carry.
    testing::TestHost host;
    auto plugin = std::make_shared<Quorvex>(0);
    plugin->cvarManager = host->CvarManager();
    plugin->gameWrapper = host->Game();
    plugin->onLoad();
    ASSERT_TRUE(plugin->api);
    EXPECT_EQ(plugin->api->GetHeaders().at("x-qvx-version"), header);
}

}  // namespace
}  // namespace quorvex
