#include "tools/plexar-sim/ScenarioRunner.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

namespace plexarsim {

bool PlayScenario(const std::vector<ScenarioStep>& steps, Session& session, std::ostream& errors)
{
    for (const auto& step : steps) {
        try {
            step.action(session);
        } catch (const std::exception& error) {
            fmt::print(errors, "{} failed at {}: {}\n", step.command, step.location, error.what());
            return false;
        } catch (...) {
            fmt::print(errors, "{} failed at {}: unknown exception\n", step.command,
                       step.location);
            return false;
        }
    }
    return true;
}

}  // namespace plexarsim
