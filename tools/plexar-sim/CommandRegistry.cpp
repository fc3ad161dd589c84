#include "tools/plexar-sim/CommandRegistry.h"

#include <algorithm>
#include <stdexcept>

#include <fmt/format.h>

#include "tools/plexar-sim/ScenarioArguments.h"

namespace plexarsim {

namespace {

// The line's leading words, each with the offset just past it.
struct Word {
    std::string_view text;
    std::size_t end;
};

std::vector<Word> LeadingWords(std::string_view line, std::size_t count)
{
    std::vector<Word> words;
    std::size_t position = 0;
    while (words.size() < count) {
        const std::size_t start = line.find_first_not_of(" \t", position);
        if (start == std::string_view::npos) {
            break;
        }
        std::size_t end = line.find_first_of(" \t", start);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        words.push_back({line.substr(start, end - start), end});
        position = end;
    }
    return words;
}

std::string JoinWords(const std::vector<Word>& words, std::size_t count)
{
    std::string joined;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            joined += ' ';
        }
        joined += words[i].text;
    }
    return joined;
}

// Breaks the text at spaces into lines of at most width characters (a longer word stands alone);
// lines after the first start with indent spaces.
std::string Wrap(std::string_view text, std::size_t width, std::size_t indent)
{
    std::string wrapped;
    std::size_t lineLength = 0;
    for (const auto& word : LeadingWords(text, text.size())) {
        if (lineLength > 0 && lineLength + 1 + word.text.size() > width) {
            wrapped += '\n';
            wrapped.append(indent, ' ');
            lineLength = 0;
        } else if (lineLength > 0) {
            wrapped += ' ';
            ++lineLength;
        }
        wrapped += word.text;
        lineLength += word.text.size();
    }
    return wrapped;
}

std::string DisplayName(const CommandDefinition& command)
{
    return command.usage.empty() ? command.name : command.name + " " + command.usage;
}

}  // namespace

void CommandRegistry::Add(CommandDefinition command)
{
    const auto words = LeadingWords(command.name, command.name.size() + 1);
    if (words.empty() || JoinWords(words, words.size()) != command.name) {
        throw std::logic_error(
            fmt::format("scenario command name '{}' is not words separated by single spaces",
                        command.name));
    }
    if (indexByName_.count(command.name) != 0) {
        throw std::logic_error(fmt::format("scenario command '{}' is added twice", command.name));
    }
    longestNameInWords_ = std::max(longestNameInWords_, words.size());
    indexByName_.emplace(command.name, commands_.size());
    commands_.push_back(std::move(command));
}

std::optional<CommandMatch> CommandRegistry::Match(std::string_view line) const
{
    const auto words = LeadingWords(line, longestNameInWords_);
    for (std::size_t count = words.size(); count > 0; --count) {
        const auto found = indexByName_.find(JoinWords(words, count));
        if (found != indexByName_.end()) {
            const std::string_view rest = line.substr(words[count - 1].end);
            return CommandMatch{&commands_[found->second], std::string(Trim(rest))};
        }
    }
    return std::nullopt;
}

std::vector<std::string> CommandRegistry::NamesStartingWith(std::string_view firstWord) const
{
    std::vector<std::string> names;
    for (const auto& command : commands_) {
        const auto words = LeadingWords(command.name, 1);
        if (words.front().text == firstWord) {
            names.push_back(command.name);
        }
    }
    return names;
}

std::vector<std::string> CommandRegistry::Names() const
{
    std::vector<std::string> names;
    for (const auto& command : commands_) {
        names.push_back(command.name);
    }
    return names;
}

std::string CommandRegistry::NearestName(std::string_view word) const
{
    std::vector<std::string> firstWords;
    for (const auto& command : commands_) {
        firstWords.emplace_back(LeadingWords(command.name, 1).front().text);
    }
    return NearestText(word, firstWords);
}

std::string CommandRegistry::HelpText() const
{
    constexpr std::size_t LineWidth = 100;
    constexpr std::size_t MinimumSummaryWidth = 40;
    std::size_t nameWidth = 0;
    for (const auto& command : commands_) {
        nameWidth = std::max(nameWidth, DisplayName(command).size());
    }
    const std::size_t summaryColumn = nameWidth + 4;
    const std::size_t summaryWidth =
        std::max(MinimumSummaryWidth, LineWidth - std::min(LineWidth, summaryColumn));
    std::string text;
    for (const auto& command : commands_) {
        text += fmt::format("  {:<{}}  {}\n", DisplayName(command), nameWidth,
                            Wrap(command.summary, summaryWidth, summaryColumn));
    }
    return text;
}

}  // namespace plexarsim
