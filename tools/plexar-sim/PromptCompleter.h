#pragma once
// What Tab completes at the interactive prompt: at the start of a line the scenario command names
// ("inv" -> "inventory ") and the cvar and console command names (a console line may be typed
// as it is), after `console` a cvar or console command name, after `settings click`
// a button or checkbox label of the settings page ("Sync" -> "Sync Inventory", "Sync Loadout").
//
// Threads: Complete runs on the prompt's reader thread; the two name sources are called there and
// must be safe to call from it.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/plexar-sim/CommandRegistry.h"
#include "tools/plexar-sim/LineEditor.h"

namespace plexarsim {

class PromptCompleter {
public:
    using Names = std::function<std::vector<std::string>()>;

    // The registry must outlive the completer.
    PromptCompleter(const CommandRegistry& commands, Names consoleNames, Names settingsLabels);

    // The candidates for the end of the line before the cursor; none when nothing fits.
    CompletionCandidates Complete(std::string_view lineBeforeCursor) const;

private:
    const CommandRegistry& commands_;
    const Names consoleNames_;
    const Names settingsLabels_;
};

}  // namespace plexarsim
