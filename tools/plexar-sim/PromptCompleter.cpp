#include "tools/plexar-sim/PromptCompleter.h"

#include <algorithm>

namespace plexarsim {

namespace {

constexpr std::string_view Blanks = " \t";

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::vector<std::string> StartingWith(const std::vector<std::string>& names, std::string_view prefix)
{
    std::vector<std::string> found;
    for (const auto& name : names) {
        if (StartsWith(name, prefix)) {
            found.push_back(name);
        }
    }
    return found;
}

// Where the arguments start when the line holds the whole name of `command` and a blank after it;
// npos while the name is still being typed.
std::size_t ArgumentsStart(std::string_view line, std::string_view command)
{
    std::size_t position = line.find_first_not_of(Blanks);
    std::size_t nameEnd = position;
    const auto words = static_cast<std::size_t>(std::count(command.begin(), command.end(), ' ')) + 1;
    for (std::size_t word = 0; word < words; ++word) {
        position = line.find_first_not_of(Blanks, nameEnd);
        nameEnd = position == std::string_view::npos ? line.size() : line.find_first_of(Blanks, position);
        if (nameEnd == std::string_view::npos) {
            return std::string_view::npos;  // the line ends inside the name's last word
        }
    }
    const std::size_t arguments = line.find_first_not_of(Blanks, nameEnd);
    return arguments == std::string_view::npos ? line.size() : arguments;
}

}  // namespace

PromptCompleter::PromptCompleter(const CommandRegistry& commands, Names consoleNames, Names settingsLabels)
    : commands_(commands), consoleNames_(std::move(consoleNames)), settingsLabels_(std::move(settingsLabels))
{
}

CompletionCandidates PromptCompleter::Complete(std::string_view line) const
{
    const auto match = commands_.Match(line);
    const std::size_t argumentsStart =
        match ? ArgumentsStart(line, match->command->name) : std::string_view::npos;
    if (argumentsStart == std::string_view::npos) {
        const std::size_t start = std::min(line.size(), line.find_first_not_of(Blanks));
        std::vector<std::string> names = StartingWith(commands_.Names(), line.substr(start));
        for (auto& name : StartingWith(consoleNames_(), line.substr(start))) {
            if (std::find(names.begin(), names.end(), name) == names.end()) {
                names.push_back(std::move(name));  // a scenario command takes a name first
            }
        }
        return {start, names};
    }
    const std::string_view arguments = line.substr(argumentsStart);
    switch (match->command->arguments) {
    case CommandDefinition::Completes::ConsoleName:
        if (arguments.find_first_of(Blanks) != std::string_view::npos) {
            return {};  // past the name, in its value
        }
        return {argumentsStart, StartingWith(consoleNames_(), arguments)};
    case CommandDefinition::Completes::SettingsLabel:
        return {argumentsStart, StartingWith(settingsLabels_(), arguments)};
    case CommandDefinition::Completes::Nothing:
        break;
    }
    return {};
}

}  // namespace plexarsim
