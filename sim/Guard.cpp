#include "sim/Guard.h"

namespace sim {
namespace {

thread_local int pluginCallDepth = 0;

}  // namespace

PluginCallScope::PluginCallScope()
{
    ++pluginCallDepth;
}

PluginCallScope::~PluginCallScope()
{
    --pluginCallDepth;
}

bool PluginCallScope::Active()
{
    return pluginCallDepth > 0;
}

}  // namespace sim
