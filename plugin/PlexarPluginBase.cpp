// The host's plug-in base class is defined in each plug-in library, which exports its members for
// the host. Its own onLoad and onUnload do nothing.
#include "host/PluginBase.h"

#include "host/CVarManagerWrapper.h"
#include "host/GameWrapper.h"

namespace Plexar::Plugin {

PlexarPlugin::PlexarPlugin() = default;
PlexarPlugin::PlexarPlugin(const PlexarPlugin&) = default;
PlexarPlugin::PlexarPlugin(PlexarPlugin&&) noexcept = default;
PlexarPlugin& PlexarPlugin::operator=(const PlexarPlugin&) = default;
PlexarPlugin& PlexarPlugin::operator=(PlexarPlugin&&) noexcept = default;
PlexarPlugin::~PlexarPlugin() = default;
void PlexarPlugin::onLoad() {}
void PlexarPlugin::onUnload() {}

}  // namespace Plexar::Plugin
