// Commands that drive the session itself: time, the console, the plug-in's life, the console log.
#include <algorithm>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "sim/ConsoleLine.h"
#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"

namespace plexarsim {
namespace {

// In a scenario a console line naming no cvar or command is a typo: the console only logs it, so
// the step fails, naming the nearest name the console knows.
void ExpectKnownConsoleName(const sim::Host& host, const std::string& line)
{
    const sim::ConsoleLine parsed = sim::ParseConsoleLine(line);
    if (parsed.kind != sim::ConsoleLine::Kind::Command) {
        return;  // the console said what is wrong with it
    }
    const auto names = host.ConsoleNames();
    if (!std::binary_search(names.begin(), names.end(), parsed.name)) {
        throw std::runtime_error(fmt::format("the console knows no cvar or command '{}'; did you mean '{}'?",
                                             parsed.name, NearestText(parsed.name, names)));
    }
}

}  // namespace

void AddSessionCommands(CommandRegistry& commands)
{
    commands.Add({"wait", "DURATION",
                  fmt::format("Runs the game loop for that long (500ms, 5s, 2m, 1h; a bare number "
                              "is seconds; at most {} s): timers, tasks and HTTP callbacks happen "
                              "meanwhile.",
                              MaxWaitSeconds),
                  [](const std::string& arguments) -> StepAction {
                      const sim::Seconds duration = ParseDuration(arguments);
                      return [duration](Session& session) { session.host.RunFor(duration); };
                  }});
    commands.Add({"console", "LINE",
                  "Runs the rest of the line in the host console, as the player typing it.",
                  [](const std::string& arguments) -> StepAction {
                      if (arguments.empty()) {
                          throw std::invalid_argument("expected a console line");
                      }
                      return [arguments](Session& session) {
                          session.host.ExecuteConsole(arguments);
                          if (!session.atPrompt) {
                              ExpectKnownConsoleName(session.host, arguments);
                          }
                      };
                  },
                  CommandDefinition::Completes::ConsoleName});
    commands.Add({"unload", "", "Calls the plug-in's onUnload.",
                  [](const std::string& arguments) -> StepAction {
                      ExpectNoArguments(arguments);
                      return [](Session& session) { session.plugin.Unload(); };
                  }});
    commands.Add({"delete", "",
                  "Unloads the plug-in if still loaded, drops the host's reference and calls "
                  "deletePlugin; later commands that need the plug-in fail.",
                  [](const std::string& arguments) -> StepAction {
                      ExpectNoArguments(arguments);
                      return [](Session& session) { session.plugin.Delete(); };
                  }});
    commands.Add({"load", "",
                  "After delete: creates a new plug-in object from the same library into the same host (same host "
                  "folder, cvars and hooks kept) and calls onLoad, as a host does when it reloads a plug-in.",
                  [](const std::string& arguments) -> StepAction {
                      ExpectNoArguments(arguments);
                      return [](Session& session) { session.plugin.Load(); };
                  }});
    commands.Add({"quit", "",
                  "Ends the session here: the rest of the scenario is not played, the prompt and the window "
                  "(--window) close, and the plug-in is unloaded and deleted.",
                  [](const std::string& arguments) -> StepAction {
                      ExpectNoArguments(arguments);
                      return [](Session& session) { session.quitRequested = true; };
                  }});
}

}  // namespace plexarsim
