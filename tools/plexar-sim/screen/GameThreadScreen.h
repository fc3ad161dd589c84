#pragma once
// The screen for a window whose thread is not the game thread (plexar-sim --window). Each frame
// is drawn on the game thread, which alone calls into the plug-in, as the real host does (its
// page's RenderSettings and GetDisplayName); the window's own parts of the frame, its input before
// ImGui's frame and its OpenGL drawing after it, are handed back to the window's thread, which
// runs them while the game thread waits (sim/HandOff.h). So the two threads never use the ImGui
// context at the same time. A modal's button pressed in a frame is answered on the game thread
// too: claimed, and its callback queued as a game-thread task, as `modal BUTTON` does.
//
// The window asks for a frame through the host's game loop (Host::PostHostWork): a frame is drawn
// whenever the game thread runs or waits in its loop (a scenario's wait, the prompt, the play after
// the scenario), without moving or holding the virtual clock. A game thread busy elsewhere (a long
// command, the end of the session) or no host leaves the window without a frame after its
// patience, so the window never hangs on it.
//
//   game thread:    screen.Attach(&host);  ...  host.RunFor(1s);  ...  screen.Attach(nullptr);
//   window thread:  if (auto frame = screen.Draw(steps, patience)) { /* shown */ }
//
// Threads: Draw on the window's thread, one at a time; Attach and ServeNext on the game thread;
// Close on any thread. host_ is guarded by hostMutex_; the window reads it only to ask that host
// for a frame, the game thread (which alone changes it) to draw one, so a detached host is reached
// by neither. The object must outlive every host it was attached to: their loops hold work that
// reaches it until they go.
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

#include "tools/plexar-sim/screen/HandOff.h"
#include "sim/Host.h"
#include "sim/ui/SettingsWindow.h"

struct ImDrawData;

namespace sim::ui {

class GameThreadScreen {
public:
    // The window's own parts of a frame, run on the window's thread inside SettingsWindow::
    // DrawScreen (as ScreenPass's), while the game thread waits; they must not call the settings
    // window. Either may be empty.
    struct WindowSteps {
        // Before ImGui::NewFrame: the platform back end's input.
        std::function<void()> beforeFrame;
        // After ImGui::Render: the renderer, with the screen that the frame shows.
        std::function<void(ImDrawData& drawData, const ScreenSnapshot& screen)> afterFrame;
    };

    explicit GameThreadScreen(SettingsWindow& settings);

    // The host whose game thread draws the frames and whose screen they show, or none. Game
    // thread.
    void Attach(Host* host);

    // One frame of the screen, drawn on the game thread with `steps` run here; nothing when no
    // host is attached, when the game thread did not begin the frame within `patience`, or left
    // it unfinished that long. Window thread.
    std::optional<ScreenFrame> Draw(const WindowSteps& steps, std::chrono::milliseconds patience);
    // Waits up to `patience` for a frame the window asks for and draws it; true when one was
    // drawn. For the game thread while it waits on the window itself (a picture of the next
    // frame), outside its loop. Game thread.
    bool ServeNext(std::chrono::milliseconds patience);

    // No frame is drawn from now on: a frame asked for ends at once without one. Any thread.
    void Close();

private:
    void DrawFrame(HandOff::Steps& steps, const WindowSteps& window, std::optional<ScreenFrame>& shown);

    SettingsWindow& settings_;
    HandOff handOff_;
    std::mutex hostMutex_;
    Host* host_ = nullptr;
};

}  // namespace sim::ui
