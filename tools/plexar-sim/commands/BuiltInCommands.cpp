#include "tools/plexar-sim/commands/Commands.h"

namespace plexarsim {

CommandRegistry BuiltInCommands()
{
    CommandRegistry commands;
    AddSessionCommands(commands);
    AddLinkingCommands(commands);
    return commands;
}

}  // namespace plexarsim
