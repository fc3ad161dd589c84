#pragma once
// The library's exports, as the host finds them by name.
#include <cstdint>

#include "host/PluginBase.h"

extern "C" {
// Creates the plug-in on first call; returns the address of the library's
// std::shared_ptr<Plexar::Plugin::PlexarPlugin> to it. Later calls return the same address.
std::uintptr_t getPlugin();
// Drops the library's reference to the plug-in, if any.
void deleteMe();
extern const Plexar::Plugin::PluginExports exports;
}
