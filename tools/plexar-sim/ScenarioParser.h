#pragma once
// Reads a scenario: one command per line, '#' starts a comment outside double quotes, blank lines
// are skipped. The whole text is checked before anything is played, so a typo on the last line
// stops the run before the first line has run.
//
// Threads: main thread; Parse holds no state between calls.
#include <filesystem>
#include <istream>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/plexar-sim/CommandRegistry.h"

namespace plexarsim {

struct ScenarioStep {
    std::string location;  // "FILE:LINE"
    std::string command;   // the command's name
    StepAction action;
    bool assertion = false;  // the command checks what the host saw (CommandDefinition::assertion)
};

// Every fault found in a scenario, one "FILE:LINE: reason" line each.
class ScenarioError : public std::runtime_error {
public:
    explicit ScenarioError(const std::vector<std::string>& problems);
    const std::vector<std::string>& Problems() const;

private:
    std::vector<std::string> problems_;
};

class ScenarioParser {
public:
    explicit ScenarioParser(const CommandRegistry& commands);

    // fileName is only used in locations and messages. Throws ScenarioError.
    std::vector<ScenarioStep> Parse(std::istream& text, const std::string& fileName) const;
    // Throws ScenarioError, also when the file cannot be read.
    std::vector<ScenarioStep> ParseFile(const std::filesystem::path& path) const;
    // One line, as a line of a file at that location ("FILE:LINE"); nothing for a blank line or a
    // comment. Throws ScenarioError.
    std::optional<ScenarioStep> ParseLine(std::string line, const std::string& location) const;

private:
    // Throws ScenarioError when the step's --since names no mark set on an earlier line; adds the
    // mark a `mark` line sets.
    void CheckMarks(std::string line, const ScenarioStep& step, std::set<std::string>& marks) const;
    ScenarioStep ParseCommand(const std::string& text, const std::string& location) const;

    const CommandRegistry& commands_;
};

}  // namespace plexarsim
