// What the host finds in the library: getPlugin, deleteMe and the "exports" record.
#include <memory>

#include "plugin/Exports.h"

#include "plugin/Quorvex.h"
#include "plugin/Version.h"

#define PLEXAR_EXPORT extern "C" PLEXAR_PLUGIN_API

namespace {

// The library's reference to the one plug-in object.
std::shared_ptr<Plexar::Plugin::PlexarPlugin> singleton;

}  // namespace

PLEXAR_EXPORT std::uintptr_t getPlugin()
{
    if (!singleton) {
        singleton = std::make_shared<quorvex::Quorvex>();
    }
    return reinterpret_cast<std::uintptr_t>(&singleton);
}

PLEXAR_EXPORT void deleteMe()
{
    singleton.reset();
}

PLEXAR_EXPORT const Plexar::Plugin::PluginExports exports = {
    Plexar::Plugin::SdkBuildVersion,
    __FILE__,
    "Quorvex",
    "Quorvex",
    QUORVEX_VERSION_TEXT,
    Plexar::Plugin::PluginTypeFreeplay,
    &getPlugin,
    &deleteMe,
};
