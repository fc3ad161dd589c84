#include "tools/plexar-sim/ScenarioRunner.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include "sim/Journal.h"

namespace plexarsim {

ScenarioOutcome PlayScenario(const std::vector<ScenarioStep>& steps, Session& session, std::ostream& errors)
{
    ScenarioOutcome outcome;
    for (const auto& step : steps) {
        try {
            step.action(session);
            outcome.assertions += step.assertion ? 1 : 0;
            if (session.quitRequested) {
                break;
            }
            continue;
        } catch (const std::exception& error) {
            fmt::print(errors, "{} failed at {}: {}\n", step.command, step.location, sim::ShownLines(error.what()));
        } catch (...) {
            fmt::print(errors, "{} failed at {}: unknown exception\n", step.command, step.location);
        }
        outcome.passed = false;
        outcome.failedAt = step.location;
        break;
    }
    return outcome;
}

}  // namespace plexarsim
