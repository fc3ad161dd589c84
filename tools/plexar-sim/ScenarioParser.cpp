#include "tools/plexar-sim/ScenarioParser.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <numeric>
#include <set>

#include <fmt/format.h>

#include "tools/plexar-sim/ScenarioArguments.h"

namespace plexarsim {

namespace {

std::string JoinLines(const std::vector<std::string>& lines)
{
    return std::accumulate(std::next(lines.begin()), lines.end(), lines.front(),
                           [](std::string joined, const std::string& line) {
                               return joined + "\n" + line;
                           });
}

// The line up to its comment. Inside double quotes '#' is text and a backslash escapes the next
// character. Throws std::invalid_argument for a quote left open.
std::string_view WithoutComment(std::string_view line)
{
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '\\') {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == '#' && !quoted) {
            return line.substr(0, i);
        }
    }
    if (quoted) {
        throw std::invalid_argument("a double quote is not closed");
    }
    return line;
}

std::string FirstWord(std::string_view text)
{
    return std::string(text.substr(0, text.find_first_of(" \t")));
}

// A cvar or console command name (lower case, digits and '_', with a '_' in it, as the host's
// are, where scenario commands use '-'), or the host console's own cvarlist and help.
bool LooksLikeConsoleLine(const std::string& word)
{
    const bool nameCharacters = std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    });
    return (nameCharacters && word.find('_') != std::string::npos) || word == "cvarlist" || word == "help";
}

}  // namespace

ScenarioError::ScenarioError(const std::vector<std::string>& problems)
    : std::runtime_error(JoinLines(problems)), problems_(problems)
{
}

const std::vector<std::string>& ScenarioError::Problems() const
{
    return problems_;
}

ScenarioParser::ScenarioParser(const CommandRegistry& commands) : commands_(commands) {}

std::vector<ScenarioStep> ScenarioParser::Parse(std::istream& text,
                                                const std::string& fileName) const
{
    std::vector<ScenarioStep> steps;
    std::vector<std::string> problems;
    std::set<std::string> marks;  // set on the lines so far
    std::string line;
    for (int number = 1; std::getline(text, line); ++number) {
        try {
            if (auto step = ParseLine(line, fmt::format("{}:{}", fileName, number))) {
                CheckMarks(line, *step, marks);
                steps.push_back(std::move(*step));
            }
        } catch (const ScenarioError& error) {
            problems.insert(problems.end(), error.Problems().begin(), error.Problems().end());
        }
    }
    if (text.bad()) {
        problems.push_back(fmt::format("{}: reading failed", fileName));
    }
    if (!problems.empty()) {
        throw ScenarioError(problems);
    }
    return steps;
}

std::vector<ScenarioStep> ScenarioParser::ParseFile(const std::filesystem::path& path) const
{
    std::ifstream file(path);
    if (!file) {
        throw ScenarioError(
            {fmt::format("{}: cannot be opened: {}", path.string(), std::strerror(errno))});
    }
    return Parse(file, path.string());
}

std::optional<ScenarioStep> ScenarioParser::ParseLine(std::string line, const std::string& location) const
{
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    try {
        const std::string_view command = Trim(WithoutComment(line));
        if (command.empty()) {
            return std::nullopt;
        }
        return ParseCommand(std::string(command), location);
    } catch (const std::exception& error) {
        throw ScenarioError({fmt::format("{}: {}", location, error.what())});
    }
}

void ScenarioParser::CheckMarks(std::string line, const ScenarioStep& step, std::set<std::string>& marks) const
{
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    const std::string whole = commands_.Match(Trim(WithoutComment(line)))->arguments;
    std::string_view arguments = whole;
    if (step.command == "mark") {
        marks.insert(TakeWord(arguments));
        return;
    }
    constexpr std::string_view Since = "--since ";
    if (!step.assertion || arguments.substr(0, Since.size()) != Since) {
        return;
    }
    arguments = Trim(arguments.substr(Since.size()));
    const std::string mark = TakeWord(arguments);
    if (marks.count(mark) == 0) {
        throw ScenarioError(
            {fmt::format("{}: {}: --since {}: no `mark {}` on an earlier line", step.location, step.command, mark, mark)});
    }
}

ScenarioStep ScenarioParser::ParseCommand(const std::string& text,
                                          const std::string& location) const
{
    const auto match = commands_.Match(text);
    if (!match) {
        const std::string word = FirstWord(text);
        const auto related = commands_.NamesStartingWith(word);
        if (LooksLikeConsoleLine(word)) {
            throw std::invalid_argument(
                fmt::format("unknown command '{}'; did you mean 'console {}'? (console lines need 'console')", word,
                            text));
        }
        if (related.empty()) {
            // A near name is a typo; a far one still tells where to look.
            const std::string nearest = commands_.NearestName(word);
            const bool typo = TypoDistance(word, nearest) <= std::max<std::size_t>(1, word.size() / 3);
            throw std::invalid_argument(
                typo ? fmt::format("unknown command '{}'; did you mean '{}'?", word, nearest)
                     : fmt::format("unknown command '{}'; the nearest known one is '{}' (plexar-sim --help lists "
                                   "them all)",
                                   word, nearest));
        }
        throw std::invalid_argument(fmt::format("unknown command '{}'; known: {}", text,
                                                fmt::join(related, ", ")));
    }
    const CommandDefinition& command = *match->command;
    try {
        return {location, command.name, command.bind(match->arguments), command.assertion};
    } catch (const std::exception& error) {
        throw std::invalid_argument(fmt::format("{}: {}", command.name, error.what()));
    }
}

}  // namespace plexarsim
