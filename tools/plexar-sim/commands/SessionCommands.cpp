// Commands that drive the session itself: time, the console, the plug-in's life, the console log.
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"

namespace plexarsim {

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
}

}  // namespace plexarsim
