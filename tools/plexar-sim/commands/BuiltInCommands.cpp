#include "tools/plexar-sim/commands/Commands.h"

namespace plexarsim {

CommandRegistry BuiltInCommands()
{
    CommandRegistry commands;
    AddSessionCommands(commands);
    AddExpectCommands(commands);
    AddLinkingCommands(commands);
    AddInventoryCommands(commands);
    AddLoadoutCommands(commands);
    AddGameCommands(commands);
    AddTradeCommands(commands);
    AddServiceCommands(commands);
    AddSettingsCommands(commands);
    AddScreenCommands(commands);
    return commands;
}

}  // namespace plexarsim
