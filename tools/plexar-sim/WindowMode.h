#pragma once
// plexar-sim --window: the host's screen in a real window beside the session. The window runs on
// the main thread; the session (load, the scenario, then the game loop until the window closes,
// unload) runs on a game thread of its own, as in the game, where drawing and playing are
// separate. The window never waits for the game thread: each frame it copies what the screen
// shows from the host (under the host's own locks), draws it, and hands what a click does to the
// game thread (a page's buttons through the plug-in's own Execute, a modal's button through
// GameWrapper::Execute).
//
// Threads: the constructor, Run and the destructor on the main thread; Attach, PlayUntilClosed
// and Picture on the game thread; RequestClose and LastFrame on any thread. host_ is guarded by
// linkMutex_, which the window holds for each frame and Attach for its change, so a detached host
// is no longer read; the picture requests, the close and end flags and the last page by
// stateMutex_.
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/Host.h"
#include "sim/ui/Image.h"
#include "sim/ui/ScreenWindow.h"
#include "sim/ui/SettingsWindow.h"

namespace plexarsim {

class WindowMode {
public:
    // Opens the window. Throws std::runtime_error when it cannot (no display).
    explicit WindowMode(sim::ui::SettingsWindow& settings);
    ~WindowMode();
    WindowMode(const WindowMode&) = delete;
    WindowMode& operator=(const WindowMode&) = delete;

    // Runs `session` on the game thread and shows the screen until it returns; returns its
    // result (rethrows what it threw). Meanwhile SIGINT and SIGTERM close the window, as the
    // player closing it does. Main thread.
    int Run(const std::function<int()>& session);

    // The host the window shows from now on, or none. Waits for a frame in progress. Game thread.
    void Attach(sim::Host* host);
    // Keeps the game loop running until the window is closed: after the scenario, the session
    // goes on at the pace of real time (on virtual time too) while the player looks and clicks.
    // Logs "plexar-sim: the window was closed; the session ends". Game thread.
    void PlayUntilClosed(sim::Host& host);
    // The next frame as OpenGL draws it; nothing when the window is closed. Game thread.
    std::optional<sim::ui::Image> Picture();

    // Closes the window as the player would. Any thread.
    void RequestClose();
    // What the last frame showed: the page (empty before one showed it) and the modal's buttons.
    sim::ui::ScreenFrame LastFrame() const;

private:
    void ShowFrames();
    void DrawOneFrame();
    void PressModalButton(sim::Host& host, const sim::ScreenSnapshot& screen, std::size_t button);
    void MarkClosed();

    sim::ui::ScreenWindow window_;

    std::mutex linkMutex_;
    sim::Host* host_ = nullptr;

    mutable std::mutex stateMutex_;
    std::condition_variable changed_;
    bool closeRequested_ = false;
    bool closed_ = false;
    bool sessionEnded_ = false;
    std::vector<std::promise<std::optional<sim::ui::Image>>> pictureRequests_;
    sim::ui::ScreenFrame lastFrame_;
};

// Shows a host in the window for its own lifetime, and none afterwards; does nothing without a
// window. Game thread.
class ShownHost {
public:
    ShownHost(WindowMode* window, sim::Host& host);
    ~ShownHost();
    ShownHost(const ShownHost&) = delete;
    ShownHost& operator=(const ShownHost&) = delete;

private:
    WindowMode* window_;
};

}  // namespace plexarsim
