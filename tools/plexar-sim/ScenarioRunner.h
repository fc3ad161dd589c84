#pragma once
// Plays parsed scenario steps in order and stops at the first that fails, reporting
// "COMMAND failed at FILE:LINE: reason".
//
// Threads: the game thread; the steps run the host's game loop on it.
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "tools/plexar-sim/ScenarioParser.h"

namespace plexarsim {

struct ScenarioOutcome {
    bool passed = true;
    std::string failedAt;        // "FILE:LINE" of the step that failed; empty when all passed
    std::size_t assertions = 0;  // the assertion steps that passed
};

// Failures are reported on errors; no exception leaves.
ScenarioOutcome PlayScenario(const std::vector<ScenarioStep>& steps, Session& session, std::ostream& errors);

}  // namespace plexarsim
