// plexar-sim --window as a person uses it: under Xvfb with Mesa's software OpenGL, the window
// shows the plug-in's page, a mouse click (xdotool) on "Sync Inventory" starts a sync, and a
// picture of the screen read back from OpenGL shows the page and the toast with its logo, and a
// click on a modal's button answers it as `modal` does. The
// session plays on virtual time, as plexar-sim --window --virtual-time does: the sync that follows
// the user code and its cooldown pass before the click, so the only sync after it is the click's.
// Skipped, saying why, where no X server can be started.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "sim/Host.h"
#include "sim/ui/SettingsWindow.h"
#include "tools/plexar-sim/PluginData.h"
#include "tools/plexar-sim/PluginLibrary.h"
#include "tools/plexar-sim/PluginSession.h"
#include "tools/plexar-sim/ThreadActivity.h"
#include "tools/plexar-sim/VirtualWallClock.h"
#include "tools/plexar-sim/WindowMode.h"
#include "tests/support/WaitUntil.h"

namespace plexarsim {
namespace {

using namespace std::chrono_literals;

// An Xvfb server on a display number it picks itself, which tells it once it accepts clients.
class XvfbDisplay {
public:
    XvfbDisplay()
    {
        int ready[2];
        if (pipe(ready) != 0) {
            problem_ = "cannot make a pipe";
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            const std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x720x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        // The display number and a line break, once the server is up; nothing when it failed.
        pollfd wait{ready[0], POLLIN, 0};
        std::string number;
        char c = 0;
        while (poll(&wait, 1, 20000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(ready[0]);
        if (number.empty()) {
            problem_ = "Xvfb (from the xvfb package) did not start";
            return;
        }
        name_ = ":" + number;
    }
    ~XvfbDisplay()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    // Empty when the server did not start; problem() says why.
    const std::string& Name() const { return name_; }
    const std::string& Problem() const { return problem_; }

private:
    pid_t pid_ = -1;
    std::string name_;
    std::string problem_;
};

// The window's first frames under a software renderer can take seconds on a loaded machine.
constexpr auto WindowPatience = std::chrono::seconds(30);

bool Eventually(const std::function<bool()>& condition)
{
    return quorvex::testing::WaitUntil(condition, WindowPatience);
}

// Clicks the window at (x, y) with the mouse, as the X server's user; an error text when it could not.
std::string ClickWindowAt(const sim::ui::Box& box)
{
    const std::string click =
        fmt::format("xdotool search --sync --name 'plexar-sim: Skyvolt' mousemove --window %1 {} {} click 1",
                    static_cast<int>(box.CentreX()), static_cast<int>(box.CentreY()));
    return std::system(click.c_str()) == 0 ? "" : "xdotool failed: " + click;
}

// Inventory syncs answered 200 so far.
int SyncsAnswered(const sim::Host& host)
{
    int syncs = 0;
    for (const sim::HttpExchange& exchange : host.HttpExchanges()) {
        if (exchange.url.find("/api/v2/inventory/smartSync.php") != std::string::npos && exchange.status == 200) {
            ++syncs;
        }
    }
    return syncs;
}

bool ToastShown(const sim::Host& host, const std::string& text)
{
    for (const auto& shown : host.ScreenNow().toasts) {
        if (shown.toast.text == text && shown.texture) {
            return true;
        }
    }
    return false;
}

// Whether some pixel of the picture's region is within a few steps of the colour.
bool HasColour(const sim::ui::Image& picture, int left, int right, int r, int g, int b)
{
    constexpr int Near = 12;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = left; x < right && x < picture.width; ++x) {
            const std::uint8_t* pixel = picture.rgba.data() + (static_cast<std::size_t>(y) * picture.width + x) * 4;
            if (std::abs(pixel[0] - r) <= Near && std::abs(pixel[1] - g) <= Near && std::abs(pixel[2] - b) <= Near) {
                return true;
            }
        }
    }
    return false;
}

TEST(WindowMode, AClickOnSyncInventoryStartsASyncAndTheScreenShowsThePageAndTheToast)
{
    const XvfbDisplay display;
    if (display.Name().empty()) {
        GTEST_SKIP() << "no display server could be started: " << display.Problem();
    }
    setenv("DISPLAY", display.Name().c_str(), 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);

    sim::ui::SettingsWindow settings;
    WindowMode window(settings);
    const PluginLibrary library(QVX_PLUGIN_PATH);
    // Set once the first sync and its cooldown are over.
    std::atomic<sim::Host*> shownHost{nullptr};
    int syncsBeforeClick = -1;

    // The person at the screen: waits for the page, clicks the button, looks at the picture.
    std::optional<sim::ui::Image> picture;
    std::string clickFailure;
    bool synced = false;
    std::atomic<bool> okPressed{false};
    bool modalAnswered = false;
    std::thread person([&] {
        std::optional<sim::ui::DrawnItem> button;
        const bool pageShown = Eventually([&] {
            if (shownHost.load() == nullptr) {
                return false;
            }
            const sim::ui::Frame page = window.LastFrame().page;
            if (page.Contains("Sync Inventory") && !page.Get("Sync Inventory").Greyed()) {
                button = page.Get("Sync Inventory");
            }
            return button.has_value();
        });
        if (pageShown) {
            clickFailure = ClickWindowAt(button->box);
            sim::Host* host = shownHost.load();
            synced = clickFailure.empty() && host != nullptr &&
                     Eventually([&] { return SyncsAnswered(*host) == syncsBeforeClick + 1; }) &&
                     Eventually([&] { return ToastShown(*host, "Inventory synced!"); });
            if (synced) {
                picture = window.Picture();
                // The scammer warning as the plug-in shows it, answered with the window's button.
                host->Game()->Execute([&okPressed](GameWrapper* game) {
                    ModalWrapper modal = game->CreateModal("Scammer detected");
                    modal.SetBody("Proceed with caution!");
                    modal.AddButton("OK", true, [&okPressed] { okPressed = true; });
                    modal.ShowModal();
                });
                std::optional<sim::ui::Box> ok;
                if (Eventually([&] {
                        const auto buttons = window.LastFrame().modalButtons;
                        if (!buttons.empty()) {
                            ok = buttons.front();
                        }
                        return ok.has_value();
                    })) {
                    clickFailure = ClickWindowAt(*ok);
                    modalAnswered = clickFailure.empty() &&
                                    Eventually([&] { return okPressed && !host->ScreenNow().modal.has_value(); });
                }
            }
        } else {
            clickFailure = "the window never showed \"Sync Inventory\" ready to click";
        }
        window.RequestClose();
    });

    std::ostringstream errors;
    std::string consoleAtEnd;
    const int status = window.Run([&] {
        sim::HostOptions options;
        options.virtualTime = true;
        options.busyOtherThread = sim::BusyOtherThread;
        options.virtualStart = std::chrono::floor<std::chrono::milliseconds>(sim::Clock::now());
        sim::Host host(options);
        const VirtualWallClock wallClock(host);
        InstallPluginData(PluginDataDir(QVX_PLUGIN_PATH), host.Options().hostDir / "data");
        host.SetResponder([](const CurlRequest&) {
            return sim::ScriptedResponse{200, R"({"full": false, "guid": "g-1"})"};
        });
        const ShownHost shown(&window, host);
        {
            PluginSession plugin(library, host, settings, errors);
            plugin.Load();
            host.ExecuteConsole("hidden_qvx_user_code QVX-WINDOW-TEST");
            // The sync that follows the user code (after 5 s) and its 10 s cooldown.
            host.RunFor(16s);
            syncsBeforeClick = SyncsAnswered(host);
            shownHost = &host;
            window.PlayUntilClosed(host);
            shownHost = nullptr;
            plugin.Finish();
        }
        for (const std::string& line : host.ConsoleLines()) {
            consoleAtEnd += line + '\n';
        }
        std::filesystem::remove_all(host.Options().hostDir);
        return 0;
    });
    person.join();

    EXPECT_EQ(status, 0);
    EXPECT_EQ(errors.str(), "");
    ASSERT_EQ(clickFailure, "");
    EXPECT_EQ(syncsBeforeClick, 1) << "the user code's own sync";
    ASSERT_TRUE(synced) << "no sync answered 200 followed the click, or no toast; console:\n" << consoleAtEnd;
    EXPECT_NE(consoleAtEnd.find("Synced inventory."), std::string::npos) << consoleAtEnd;
    EXPECT_EQ(consoleAtEnd.find("cannot load the toast texture"), std::string::npos) << consoleAtEnd;
    ASSERT_TRUE(picture.has_value()) << "the window gave no picture";
    const sim::ui::ScreenLayout layout = settings.Layout();
    EXPECT_EQ(picture->width, static_cast<int>(layout.width));
    EXPECT_EQ(picture->height, static_cast<int>(layout.height));
    const int pageRight = static_cast<int>(layout.settingsWidth);
    // The settings window's active title bar (Dear ImGui's dark style) on the left; the logo's
    // amber tail and its violet among the toasts on the right.
    EXPECT_TRUE(HasColour(*picture, 0, pageRight, 41, 74, 122)) << "no settings window in the picture";
    EXPECT_TRUE(HasColour(*picture, pageRight, picture->width, 0xff, 0xb0, 0x20)) << "no logo (amber) in the toast";
    EXPECT_TRUE(HasColour(*picture, pageRight, picture->width, 0x6a, 0x40, 0xd8)) << "no logo (violet) in the toast";
    EXPECT_FALSE(HasColour(*picture, 0, pageRight, 0xff, 0xb0, 0x20)) << "the logo is outside the toasts";

    EXPECT_TRUE(modalAnswered) << "the modal's OK, clicked in the window, did not answer it";
    EXPECT_NE(consoleAtEnd.find("plexar-sim: modal \"Scammer detected\": OK pressed in the window"), std::string::npos)
        << consoleAtEnd;
}

}  // namespace
}  // namespace plexarsim
