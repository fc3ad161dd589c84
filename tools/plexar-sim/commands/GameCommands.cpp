// Commands that play the game's menus and matches, and the player's answer to a dialog.
#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "sim/Guard.h"
#include "sim/game/Functions.h"
#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"

namespace plexarsim {
namespace {

namespace function = sim::game::function;

// What `match-end` plays: no running game, a game without a playlist, or a game in a playlist.
struct MatchArguments {
    bool inGame = false;
    std::optional<std::int32_t> playlist;
};

MatchArguments ParseMatch(std::string_view arguments)
{
    if (arguments.empty()) {
        return {};
    }
    if (arguments == "none") {
        return {true, std::nullopt};
    }
    std::int32_t playlist = 0;
    const auto [end, error] = std::from_chars(arguments.data(), arguments.data() + arguments.size(), playlist);
    if (error != std::errc() || end != arguments.data() + arguments.size()) {
        throw std::invalid_argument(fmt::format("expected a playlist id (a 32-bit integer) or none, got '{}'", arguments));
    }
    return {true, playlist};
}

void PlayMatchEnd(const MatchArguments& match, sim::Host& host)
{
    sim::game::World& world = host.GetWorld();
    if (match.inGame) {
        world.EnterGame(match.playlist);
    } else {
        world.LeaveGame();
    }
    host.CallFunction(function::EventMatchEnded);
    world.LeaveGame();
}

std::string DescribeButtons(const sim::ModalRecord& modal)
{
    std::vector<std::string> buttons;
    for (const auto& button : modal.buttons) {
        buttons.push_back(button.isCancel ? button.text + " (cancel)" : button.text);
    }
    return fmt::format("{}", fmt::join(buttons, ", "));
}

// Modals are answered one at a time, oldest first, here or in the window.
void AnswerModal(Session& session, const std::string& buttonText)
{
    // Dialogs that tasks already handed to the game thread would open.
    session.host.RunUntilIdle();
    const std::optional<sim::ScreenSnapshot::OpenModal> open = session.host.ScreenNow().modal;
    if (!open) {
        throw std::runtime_error("no modal is open");
    }
    const sim::ModalRecord& modal = open->modal;
    std::string body = "  " + modal.body;
    for (std::size_t at = body.find('\n'); at != std::string::npos; at = body.find('\n', at + 1)) {
        body.insert(at + 1, "  ");
    }
    session.out << fmt::format("modal: {}\n{}\n  buttons: [{}]", modal.title, body, DescribeButtons(modal))
                << std::endl;
    const sim::ModalRecord::Button* pressed = nullptr;
    for (const auto& button : modal.buttons) {
        if (buttonText.empty() ? modal.buttons.size() == 1 : button.text == buttonText) {
            pressed = &button;
            break;
        }
    }
    if (!modal.buttons.empty() && pressed == nullptr) {
        throw std::runtime_error(buttonText.empty()
                                     ? "the modal has several buttons; name the one to press"
                                     : fmt::format("the modal has no button \"{}\"", buttonText));
    }
    if (!session.host.ClaimModal(open->index)) {
        throw std::runtime_error("the modal was answered in the window meanwhile");
    }
    if (pressed == nullptr) {
        session.out << "modal: closed (it has no button)" << std::endl;
        return;
    }
    session.out << fmt::format("modal: pressed {}", pressed->text) << std::endl;
    if (pressed->onClick) {
        sim::CallGuarded([&](const std::string& line) { session.host.CvarManager()->log(line); }, "modal button",
                         pressed->onClick);
    }
    session.host.RunUntilIdle();
}

}  // namespace

void AddGameCommands(CommandRegistry& commands)
{
    commands.Add({"menu-pop", "NAME",
                  "Leaves the menu NAME (\"GarageMainMenuMovie\" is the garage): plays PopMenu with the name's "
                  "index in the first 32-bit integer of the parameters.",
                  [](const std::string& arguments) -> StepAction {
                      const std::string name = ParseText(arguments);
                      return [name](Session& session) {
                          sim::game::PopMenuParams params;
                          params.menuName = session.host.InternName(name);
                          session.host.CallFunction(function::PopMenu, 0, &params);
                      };
                  }});
    commands.Add({"match-end", "[PLAYLIST_ID|none]",
                  "Ends a match in that playlist, in a game without a playlist (none), or with no game running "
                  "(no argument): plays EventMatchEnded, then leaves the game.",
                  [](const std::string& arguments) -> StepAction {
                      const MatchArguments match = ParseMatch(arguments);
                      return [match](Session& session) { PlayMatchEnd(match, session.host); };
                  }});
    commands.Add({"modal", "[BUTTON]",
                  "Prints the open modal (the oldest not yet answered) and answers it with BUTTON, or with its "
                  "only button; fails when no modal is open.",
                  [](const std::string& arguments) -> StepAction {
                      const std::string button = arguments.empty() ? std::string() : ParseText(arguments);
                      return [button](Session& session) { AnswerModal(session, button); };
                  }});
}

}  // namespace plexarsim
