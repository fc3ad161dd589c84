#pragma once
// plexar-sim --window: the host's screen in a real window beside the session. The window runs on
// the main thread; the session (load, the scenario, then the game loop until the window closes,
// unload) runs on a game thread of its own, as in the game, where drawing and playing are
// separate. The game thread draws each frame of the screen, so every call into the plug-in (its
// page, the clicks the page hands to its own Execute, a modal's button callback) is made on the
// game thread as the real host makes it; the window asks for each frame and does only its own
// parts of it, the input and OpenGL (sim/ui/GameThreadScreen.h). A game thread that does not draw a
// frame in time (busy, or the session ending) leaves the last frame up with a note in the title.
//
// Threads: the constructor, Run and the destructor on the main thread; Attach and PlayUntilClosed
// on the game thread; Picture, RequestClose and LastFrame on any thread. The picture requests,
// the close and end flags, the game thread's id and the last frame are guarded by stateMutex_;
// the host shown is the screen's (GameThreadScreen guards it).
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "sim/Host.h"
#include "tools/plexar-sim/screen/GameThreadScreen.h"
#include "tools/plexar-sim/screen/Image.h"
#include "tools/plexar-sim/screen/ScreenWindow.h"
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

    // The host the window shows from now on, or none; once it returns, the window no longer
    // reaches a host it replaced. Game thread.
    void Attach(sim::Host* host);
    // Keeps the game loop running until the window is closed: after the scenario, the session
    // goes on at the pace of real time (on virtual time too) while the player looks and clicks.
    // Logs "plexar-sim: the window was closed; the session ends". Game thread.
    void PlayUntilClosed(sim::Host& host);
    // The next frame as OpenGL draws it; nothing when the window is closed or no frame came in
    // time. On the game thread it draws that frame itself meanwhile. Any thread.
    std::optional<sim::ui::Image> Picture();

    // Closes the window as the player would. Any thread.
    void RequestClose();
    // What the last frame showed: the page (empty before one showed it) and the modal's buttons.
    sim::ui::ScreenFrame LastFrame() const;

private:
    using PictureRequests = std::vector<std::promise<std::optional<sim::ui::Image>>>;

    void ShowFrames();
    void DrawOneFrame();
    void MarkClosed();

    sim::ui::ScreenWindow window_;
    sim::ui::GameThreadScreen screen_;

    mutable std::mutex stateMutex_;
    std::condition_variable changed_;
    bool closeRequested_ = false;
    bool closed_ = false;
    bool sessionEnded_ = false;
    std::thread::id gameThread_;
    PictureRequests pictureRequests_;
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
