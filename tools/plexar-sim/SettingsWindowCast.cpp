#include "tools/plexar-sim/SettingsWindowCast.h"

#include <typeinfo>

namespace plexarsim {

Plexar::Plugin::PluginSettingsWindow* SettingsWindowOf(Plexar::Plugin::PlexarPlugin& plugin)
{
    // The whole object and its most derived type; the C++ runtime's catch matching (libstdc++'s
    // type_info::__do_catch) finds the base part and moves the pointer onto it.
    void* object = dynamic_cast<void*>(&plugin);
    constexpr unsigned NotAPointer = 1;
    const bool isWindow = typeid(Plexar::Plugin::PluginSettingsWindow)
                              .__do_catch(&typeid(plugin), &object, NotAPointer);
    return isWindow ? static_cast<Plexar::Plugin::PluginSettingsWindow*>(object) : nullptr;
}

}  // namespace plexarsim
