#include "tools/plexar-sim/WindowMode.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <exception>
#include <thread>

#include <fmt/format.h>

#include "sim/Guard.h"

namespace plexarsim {
namespace {

// How often the window redraws when nothing happens: toasts count down in it.
constexpr double IdleFrameSeconds = 0.05;
// After the scenario, one stretch of the game loop between looks at the window.
constexpr sim::Seconds PlaySlice{0.05};
// How long a picture may take before the request gives up on the window.
constexpr std::chrono::seconds PicturePatience{10};

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

WindowMode::WindowMode(sim::ui::SettingsWindow& settings) : window_(settings, "plexar-sim: Skyvolt") {}

WindowMode::~WindowMode() = default;

int WindowMode::Run(const std::function<int()>& session)
{
    const InterruptCloses interrupts;
    int result = 1;
    std::exception_ptr failure;
    std::thread game([&] {
        try {
            result = session();
        } catch (...) {
            failure = std::current_exception();
        }
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
    std::vector<std::promise<std::optional<sim::ui::Image>>> requests;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        requests.swap(pictureRequests_);
    }
    sim::ui::Image picture;
    sim::ui::ScreenFrame frame;
    {
        std::lock_guard<std::mutex> link(linkMutex_);
        const sim::ScreenSnapshot screen = host_ != nullptr ? host_->ScreenNow() : sim::ScreenSnapshot{};
        frame = window_.Draw(screen, requests.empty() ? nullptr : &picture);
        if (frame.pressedButton && host_ != nullptr) {
            PressModalButton(*host_, screen, *frame.pressedButton);
        }
    }
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        lastFrame_ = std::move(frame);
    }
    for (auto& request : requests) {
        request.set_value(picture);
    }
}

void WindowMode::PressModalButton(sim::Host& host, const sim::ScreenSnapshot& screen, std::size_t button)
{
    if (!screen.modal || button >= screen.modal->modal.buttons.size() || !host.ClaimModal(screen.modal->index)) {
        return;  // answered by the scenario meanwhile
    }
    const sim::ModalRecord::Button pressed = screen.modal->modal.buttons[button];
    const std::string title = screen.modal->modal.title;
    auto cvarManager = host.CvarManager();
    host.Game()->Execute([pressed, title, cvarManager](GameWrapper*) {
        cvarManager->log(fmt::format("plexar-sim: modal \"{}\": {} pressed in the window", title, pressed.text));
        if (pressed.onClick) {
            sim::CallGuarded([&](const std::string& line) { cvarManager->log(line); }, "modal button", pressed.onClick);
        }
    });
}

void WindowMode::MarkClosed()
{
    std::vector<std::promise<std::optional<sim::ui::Image>>> requests;
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
    std::lock_guard<std::mutex> link(linkMutex_);
    host_ = host;
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
            // The virtual clock would jump over the slice at once; the player's pace is real time.
            std::unique_lock<std::mutex> lock(stateMutex_);
            changed_.wait_for(lock, PlaySlice, [this] { return closed_; });
        }
    }
    host.CvarManager()->log("plexar-sim: the window was closed; the session ends");
}

std::optional<sim::ui::Image> WindowMode::Picture()
{
    std::future<std::optional<sim::ui::Image>> picture;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (closed_) {
            return std::nullopt;
        }
        pictureRequests_.emplace_back();
        picture = pictureRequests_.back().get_future();
    }
    sim::ui::ScreenWindow::Wake();
    if (picture.wait_for(PicturePatience) != std::future_status::ready) {
        return std::nullopt;
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
