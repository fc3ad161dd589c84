#pragma once
// Finds whether a plug-in object is also a settings window, as dynamic_cast would. The plug-in
// library defines PlexarPlugin's members and so holds its type information, which the host does
// not link against; the lookup therefore starts from the object's own most derived type, read
// from its vtable, and converts to the public base the way a catch clause does.
//
// Threads: any; it only reads the object's type information.
#include "host/PluginBase.h"

namespace plexarsim {

// The object's PluginSettingsWindow part, or null when it has no public one.
Plexar::Plugin::PluginSettingsWindow* SettingsWindowOf(Plexar::Plugin::PlexarPlugin& plugin);

}  // namespace plexarsim
