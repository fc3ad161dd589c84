#pragma once
// Plays parsed scenario steps in order and stops at the first that fails, reporting
// "COMMAND failed at FILE:LINE: reason".
//
// Threads: the game thread; the steps run the host's game loop on it.
#include <ostream>
#include <vector>

#include "tools/plexar-sim/ScenarioParser.h"

namespace plexarsim {

// True when every step succeeded. Failures are reported on errors; no exception leaves.
bool PlayScenario(const std::vector<ScenarioStep>& steps, Session& session, std::ostream& errors);

}  // namespace plexarsim
