#pragma once
// The table of scenario commands. Each group of commands adds itself in its own file
// (commands/*.cpp); the parser only asks the table which command a line names.
//
// Threads: filled on the main thread before a scenario is played, then only read (also by the
// interactive prompt's reader thread); not synchronised.
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/plexar-sim/Session.h"

namespace plexarsim {

struct CommandDefinition {
    // One or more words, separated by single spaces: "wait", "inventory load".
    std::string name;
    // The arguments as shown in the help: "SECONDS", "FILE". Empty when it takes none.
    std::string usage;
    // One sentence for the help.
    std::string summary;
    // Checks the argument text (the rest of the line, trimmed, comment removed) and binds it.
    // Throws std::invalid_argument with the reason when the arguments are bad.
    std::function<StepAction(const std::string& arguments)> bind;
    // What Tab completes in the arguments at the interactive prompt.
    enum class Completes { Nothing, ConsoleName, SettingsLabel };
    Completes arguments = Completes::Nothing;
    // The command checks what the host saw (expect-..., ws-send); counted in the closing line.
    bool assertion = false;
};

struct CommandMatch {
    const CommandDefinition* command;
    std::string arguments;
};

class CommandRegistry {
public:
    // Throws std::logic_error when the name is empty or already taken.
    void Add(CommandDefinition command);

    // The command whose name is the longest run of leading words of the line, and the rest of
    // the line after it. Nothing when no command matches.
    std::optional<CommandMatch> Match(std::string_view line) const;

    // The names of commands that start with this word ("inventory" -> "inventory load", ...).
    std::vector<std::string> NamesStartingWith(std::string_view firstWord) const;

    // Every command name, in the order they were added.
    std::vector<std::string> Names() const;

    // The first word of a command name nearest to the word as a typo of it ("expect-logs" ->
    // "expect-log", "wiat" -> "wait"; NearestText).
    std::string NearestName(std::string_view word) const;

    // "  name USAGE  summary" per command, in the order they were added; the summaries aligned
    // and wrapped to 100 columns.
    std::string HelpText() const;

private:
    std::vector<CommandDefinition> commands_;
    std::map<std::string, std::size_t, std::less<>> indexByName_;
    std::size_t longestNameInWords_ = 0;
};

}  // namespace plexarsim
