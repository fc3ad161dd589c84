#pragma once
// The groups of scenario commands. Each group adds its commands in its own file; a new group
// declares its function here and is listed once in BuiltInCommands.
//
// Threads: main thread, before the scenario is parsed.
#include "tools/plexar-sim/CommandRegistry.h"

namespace plexarsim {

// wait, console, unload, delete, load.
void AddSessionCommands(CommandRegistry& commands);

// expect-log, expect-no-log, expect-toast, expect-no-toast, expect-modal, expect-request,
// expect-requests.
void AddExpectCommands(CommandRegistry& commands);

// ws-send.
void AddLinkingCommands(CommandRegistry& commands);

// item add, item add-silent, item remove, inventory generate, inventory load, inventory save,
// inventory unavailable/available.
void AddInventoryCommands(CommandRegistry& commands);

// loadout set.
void AddLoadoutCommands(CommandRegistry& commands);

// menu-pop, match-end, modal.
void AddGameCommands(CommandRegistry& commands);

// trade open, trade offer, trade send, trade complete, trade unavailable, trade available.
void AddTradeCommands(CommandRegistry& commands);

// respond.
void AddServiceCommands(CommandRegistry& commands);

// settings text, settings click, settings png.
void AddSettingsCommands(CommandRegistry& commands);

// screen png.
void AddScreenCommands(CommandRegistry& commands);

// Every group.
CommandRegistry BuiltInCommands();

}  // namespace plexarsim
