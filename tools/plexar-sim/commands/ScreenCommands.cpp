// The command that pictures the whole host screen: the settings page, the toasts, the modal.
#include <string>

#include <fmt/format.h>

#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"
#include "tools/plexar-sim/screen/Pictures.h"

namespace plexarsim {

void AddScreenCommands(CommandRegistry& commands)
{
    commands.Add({"screen png", "FILE",
                  "Writes what the host's screen shows now (the settings window with the plug-in's page, the "
                  "toasts still up with their pictures, the open modal, the status line) as a PNG picture to FILE: "
                  "drawn by OpenGL with --window, else by the software rasteriser.",
                  [](const std::string& arguments) -> StepAction {
                      const std::string file = ParseText(arguments);
                      return [file](Session& session) {
                          // Toasts and dialogs that tasks already handed to the game thread would show.
                          session.host.RunUntilIdle();
                          std::optional<sim::ui::Image> picture;
                          if (session.screenPicture) {
                              picture = session.screenPicture();
                          }
                          const char* renderer = picture ? "OpenGL" : "software rasteriser";
                          if (!picture) {
                              picture = sim::ui::ScreenPicture(session.settingsWindow, session.host.ScreenNow());
                          }
                          sim::ui::WritePng(*picture, file);
                          session.out << fmt::format("screen: picture written to {} ({}, {}x{})", file, renderer,
                                                     picture->width, picture->height)
                                      << std::endl;
                      };
                  }});
}

}  // namespace plexarsim
