#include "tools/plexar-sim/WindowMode.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <exception>
#include <iterator>
#include <thread>

namespace plexarsim {
namespace {

// How often the window redraws when nothing happens: toasts count down in it.
constexpr double IdleFrameSeconds = 0.05;
// After the scenario, one stretch of the game loop between looks at the window.
constexpr sim::Seconds PlaySlice{0.05};
// How long a picture may take before the request gives up on the window.
constexpr std::chrono::seconds PicturePatience{10};
// How long the window waits for the game thread to draw a frame before it leaves the last one up,
// so the window keeps answering the display while the game thread is busy.
constexpr std::chrono::milliseconds FramePatience{250};
// How often a picture awaited looks whether it came.
constexpr std::chrono::milliseconds PictureLook{20};

// Ctrl-C or a SIGTERM while the window is up: the window closes and the session ends as when the
// player closes it, so the plug-in is still unloaded. Set by the handler, read by the window's
// loop, which looks at least every IdleFrameSeconds.
std::atomic<bool> interrupted{false};

void NoteInterrupt(int)
{
    interrupted = true;
}

// Routes SIGINT and SIGTERM to NoteInterrupt for its lifetime.
class InterruptCloses {
public:
    InterruptCloses()
    {
        struct sigaction action {};
        action.sa_handler = NoteInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~InterruptCloses()
    {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    InterruptCloses(const InterruptCloses&) = delete;
    InterruptCloses& operator=(const InterruptCloses&) = delete;

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

}  // namespace

WindowMode::WindowMode(sim::ui::SettingsWindow& settings)
    : window_(settings, "plexar-sim: Skyvolt"), screen_(settings)
{
}

WindowMode::~WindowMode() = default;

int WindowMode::Run(const std::function<int()>& session)
{
    const InterruptCloses interrupts;
    int result = 1;
    std::exception_ptr failure;
    std::thread game([&] {
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            gameThread_ = std::this_thread::get_id();
        }
        try {
            result = session();
        } catch (...) {
            failure = std::current_exception();
        }
        screen_.Close();
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            sessionEnded_ = true;
        }
        changed_.notify_all();
        sim::ui::ScreenWindow::Wake();
    });
    ShowFrames();
    game.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return result;
}

void WindowMode::ShowFrames()
{
    for (;;) {
        bool closeRequested = false;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            if (sessionEnded_) {
                break;
            }
            closeRequested = closeRequested_ || interrupted;
        }
        if (closeRequested || window_.CloseRequested()) {
            window_.Hide();
            MarkClosed();
            std::unique_lock<std::mutex> lock(stateMutex_);
            changed_.wait(lock, [this] { return sessionEnded_; });
            break;
        }
        window_.WaitForInput(IdleFrameSeconds);
        DrawOneFrame();
    }
    MarkClosed();
}

void WindowMode::DrawOneFrame()
{
    PictureRequests requests;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        requests.swap(pictureRequests_);
    }
    bool pictured = false;
    sim::ui::GameThreadScreen::WindowSteps steps;
    steps.beforeFrame = [this] { window_.BeforeFrame(); };
    steps.afterFrame = [&](ImDrawData& drawData, const sim::ScreenSnapshot& screen) {
        sim::ui::Image picture;
        window_.AfterFrame(drawData, screen, requests.empty() ? nullptr : &picture);
        // Answered inside the frame, so a game thread that draws it for its own picture has it
        // when the frame ends.
        for (auto& request : requests) {
            request.set_value(picture);
        }
        pictured = true;
    };
    std::optional<sim::ui::ScreenFrame> frame = screen_.Draw(steps, FramePatience);
    if (!pictured) {
        // They wait for the next frame drawn.
        std::lock_guard<std::mutex> lock(stateMutex_);
        std::move(requests.begin(), requests.end(), std::back_inserter(pictureRequests_));
    }
    if (!frame) {
        window_.SetTitleNote("waiting for the game thread");
        return;
    }
    window_.SetTitleNote("");
    window_.Present();
    std::lock_guard<std::mutex> lock(stateMutex_);
    lastFrame_ = std::move(*frame);
}

void WindowMode::MarkClosed()
{
    PictureRequests requests;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        closed_ = true;
        requests.swap(pictureRequests_);
    }
    changed_.notify_all();
    for (auto& request : requests) {
        request.set_value(std::nullopt);
    }
}

void WindowMode::Attach(sim::Host* host)
{
    screen_.Attach(host);
}

void WindowMode::PlayUntilClosed(sim::Host& host)
{
    const bool virtualTime = host.Options().virtualTime;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            if (closed_) {
                break;
            }
        }
        host.RunFor(PlaySlice);
        if (virtualTime) {
            // The virtual clock jumps over the slice at once; the player's pace is real time, in
            // which the loop still runs the tasks and draws the frames.
            host.Idle(PlaySlice);
        }
    }
    host.CvarManager()->log("plexar-sim: the window was closed; the session ends");
}

std::optional<sim::ui::Image> WindowMode::Picture()
{
    std::future<std::optional<sim::ui::Image>> picture;
    bool onGameThread = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (closed_) {
            return std::nullopt;
        }
        pictureRequests_.emplace_back();
        picture = pictureRequests_.back().get_future();
        onGameThread = std::this_thread::get_id() == gameThread_;
    }
    sim::ui::ScreenWindow::Wake();
    const auto deadline = std::chrono::steady_clock::now() + PicturePatience;
    while (picture.wait_for(std::chrono::seconds{0}) != std::future_status::ready) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return std::nullopt;  // the request stays and is answered by a later frame
        }
        const auto look = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::min<std::chrono::steady_clock::duration>(deadline - now, PictureLook));
        if (onGameThread) {
            // The frame the window asks for next is drawn here: this thread is the one to draw it.
            screen_.ServeNext(look);
        } else {
            picture.wait_for(look);
        }
    }
    return picture.get();
}

void WindowMode::RequestClose()
{
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        closeRequested_ = true;
    }
    sim::ui::ScreenWindow::Wake();
}

sim::ui::ScreenFrame WindowMode::LastFrame() const
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    return lastFrame_;
}

ShownHost::ShownHost(WindowMode* window, sim::Host& host) : window_(window)
{
    if (window_ != nullptr) {
        window_->Attach(&host);
    }
}

ShownHost::~ShownHost()
{
    if (window_ != nullptr) {
        window_->Attach(nullptr);
    }
}

}  // namespace plexarsim
