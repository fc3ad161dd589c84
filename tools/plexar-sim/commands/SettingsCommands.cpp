// Commands that look at and use the plug-in's page in the host's settings window.
#include <sstream>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "sim/ui/SettingsWindow.h"
#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"
#include "tools/plexar-sim/screen/Pictures.h"

namespace plexarsim {
namespace {

Plexar::Plugin::PluginSettingsWindow& PageOf(Session& session)
{
    Plexar::Plugin::PluginSettingsWindow* page = session.plugin.SettingsWindow();
    if (page == nullptr) {
        throw std::runtime_error("the plug-in has no settings page: it was deleted, or it is no settings window");
    }
    return *page;
}

void PrintPage(Session& session, const sim::ui::Frame& frame)
{
    session.out << "settings:\n";
    std::istringstream rows(frame.Describe());
    for (std::string row; std::getline(rows, row);) {
        session.out << "  " << row << '\n';
    }
    session.out.flush();
}

}  // namespace

void AddSettingsCommands(CommandRegistry& commands)
{
    commands.Add({"settings text", "",
                  "Draws a frame of the plug-in's settings page and prints it as text, one row per line: "
                  "\"[x] label\" a ticked checkbox, \"[label]\" a button, colours and greyed items in braces.",
                  [](const std::string& arguments) -> StepAction {
                      ExpectNoArguments(arguments);
                      return [](Session& session) { PrintPage(session, session.settingsWindow.Draw(PageOf(session))); };
                  }});
    commands.Add({"settings click", "LABEL",
                  "Draws a frame of the settings page and clicks the button or checkbox LABEL (as written, or one "
                  "\"quoted\" text; the leading words of one widget's label are enough) with the mouse, then lets "
                  "the game thread run what the click handed it. A bad LABEL fails listing the page's widgets.",
                  [](const std::string& arguments) -> StepAction {
                      const std::string label = ParseText(arguments);
                      return [label](Session& session) {
                          auto& page = PageOf(session);
                          session.settingsWindow.Draw(page);
                          const sim::ui::DrawnItem clicked = session.settingsWindow.Click(page, label);
                          session.out << fmt::format("settings: clicked \"{}\"{}", clicked.text,
                                                     clicked.Greyed() ? ", which is greyed: nothing happens" : "")
                                      << std::endl;
                          session.host.RunUntilIdle();
                      };
                  },
                  CommandDefinition::Completes::SettingsLabel});
    commands.Add({"settings png", "FILE",
                  "Draws a frame of the settings page and writes it as a PNG picture to FILE.",
                  [](const std::string& arguments) -> StepAction {
                      const std::string file = ParseText(arguments);
                      return [file](Session& session) {
                          session.settingsWindow.Draw(PageOf(session));
                          sim::ui::WritePng(sim::ui::SettingsPicture(session.settingsWindow), file);
                          session.out << fmt::format("settings: picture written to {}", file) << std::endl;
                      };
                  }});
}

}  // namespace plexarsim
