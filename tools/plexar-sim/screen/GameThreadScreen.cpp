#include "tools/plexar-sim/screen/GameThreadScreen.h"

#include <string>
#include <utility>

#include <fmt/format.h>

#include "sim/Guard.h"

namespace sim::ui {
namespace {

// The modal's button pressed in the window: answers the modal unless the scenario answered it
// meanwhile, and runs the button's callback as a game-thread task.
void PressModalButton(Host& host, const ScreenSnapshot& screen, std::size_t button)
{
    if (!screen.modal || button >= screen.modal->modal.buttons.size() || !host.ClaimModal(screen.modal->index)) {
        return;
    }
    const ModalRecord::Button pressed = screen.modal->modal.buttons[button];
    const std::string title = screen.modal->modal.title;
    auto cvarManager = host.CvarManager();
    host.Game()->Execute([pressed, title, cvarManager](GameWrapper*) {
        cvarManager->log(fmt::format("plexar-sim: modal \"{}\": {} pressed in the window", title, pressed.text));
        if (pressed.onClick) {
            CallGuarded([&](const std::string& line) { cvarManager->log(line); }, "modal button", pressed.onClick);
        }
    });
}

}  // namespace

GameThreadScreen::GameThreadScreen(SettingsWindow& settings) : settings_(settings) {}

void GameThreadScreen::Attach(Host* host)
{
    std::lock_guard<std::mutex> lock(hostMutex_);
    host_ = host;
}

std::optional<ScreenFrame> GameThreadScreen::Draw(const WindowSteps& steps, std::chrono::milliseconds patience)
{
    {
        std::lock_guard<std::mutex> lock(hostMutex_);
        if (host_ == nullptr) {
            return std::nullopt;
        }
    }
    std::optional<ScreenFrame> shown;
    // The work reaches `steps` and `shown`, on this thread's stack, only in steps run here.
    const bool ended = handOff_.Call(
        [this, &steps, &shown](HandOff::Steps& handedBack) { DrawFrame(handedBack, steps, shown); },
        [this] {
            std::lock_guard<std::mutex> lock(hostMutex_);
            if (host_ != nullptr) {
                host_->PostHostWork([this] { handOff_.Serve(); });
            }
        },
        patience);
    if (!ended) {
        return std::nullopt;
    }
    return shown;
}

void GameThreadScreen::DrawFrame(HandOff::Steps& steps, const WindowSteps& window, std::optional<ScreenFrame>& shown)
{
    Host* host = nullptr;
    {
        // This thread alone attaches and detaches, so the host stays for the whole frame.
        std::lock_guard<std::mutex> lock(hostMutex_);
        host = host_;
    }
    const ScreenSnapshot screen = host != nullptr ? host->ScreenNow() : ScreenSnapshot{};
    ScreenPass pass;
    pass.beforeFrame = [&] {
        steps.OnRequester([&] {
            if (window.beforeFrame) {
                window.beforeFrame();
            }
        });
    };
    pass.afterFrame = [&](ImDrawData& drawData) {
        steps.OnRequester([&] {
            if (window.afterFrame) {
                window.afterFrame(drawData, screen);
            }
        });
    };
    ScreenFrame frame = settings_.DrawScreen(screen, pass);
    if (frame.pressedButton && host != nullptr) {
        PressModalButton(*host, screen, *frame.pressedButton);
    }
    steps.OnRequester([&] { shown = std::move(frame); });
}

bool GameThreadScreen::ServeNext(std::chrono::milliseconds patience)
{
    return handOff_.ServeNext(patience);
}

void GameThreadScreen::Close()
{
    handOff_.Close();
}

}  // namespace sim::ui
