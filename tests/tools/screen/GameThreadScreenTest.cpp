// The window's frames drawn on the game thread: the plug-in's page is called there only, the
// window's own steps run on the window's thread, a game thread out of its loop leaves the window
// without a frame instead of hanging it, and a modal's button clicked in a frame is answered on
// the game thread.
#include "tools/plexar-sim/screen/GameThreadScreen.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>
#include <imgui.h>

#include "tests/sim/ui/ProbePage.h"
#include "tests/sim/TestHost.h"
#include "tests/support/WaitUntil.h"

namespace sim::ui {
namespace {

using namespace std::chrono_literals;

constexpr auto Served = std::chrono::milliseconds(quorvex::testing::Patience);
constexpr auto NobodyServes = 20ms;

using testing::ProbePage;

// A window's platform step, as the GLFW back end's would be: the screen's size, a frame's time and
// where the mouse is.
std::function<void()> MouseAt(const SettingsWindow& settings, float x, float y, bool down)
{
    return [&settings, x, y, down] {
        ImGui::SetCurrentContext(reinterpret_cast<ImGuiContext*>(settings.UiContext()));
        ImGuiIO& io = ImGui::GetIO();
        io.DisplaySize = ImVec2(settings.Layout().width, settings.Layout().height);
        io.DeltaTime = 1.0f / 60.0f;
        io.MousePos = ImVec2(x, y);
        io.MouseDown[0] = down;
    };
}

// The game thread idles in its loop, as at the prompt, until the window is done.
void IdleUntil(Host& host, const std::atomic<bool>& done)
{
    while (!done) {
        host.Idle(Seconds{0.005});
    }
}

class GameThreadScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        page.SetUiContext(settings.UiContext());
        settings.ShowPage(&page);
    }
    void TearDown() override
    {
        screen.Attach(nullptr);
        settings.ShowPage(nullptr);
    }

    SettingsWindow settings;
    GameThreadScreen screen{settings};  // made before the host, so it outlives it
    test::TestHost host;
    int pageCalls = 0;
    std::thread::id pageThread;
    ProbePage page{[this] {
        ++pageCalls;
        pageThread = std::this_thread::get_id();
        ImGui::Button("Sync Inventory");
    }};
};

TEST_F(GameThreadScreenTest, TheGameThreadDrawsThePageWhileTheWindowRunsItsOwnSteps)
{
    screen.Attach(&*host);
    const Clock::time_point before = host->Now();
    std::thread::id windowThread;
    std::thread::id beforeFrameThread;
    std::thread::id afterFrameThread;
    bool screenWasHosts = false;
    std::optional<ScreenFrame> frame;
    std::atomic<bool> done{false};
    std::thread window([&] {
        windowThread = std::this_thread::get_id();
        GameThreadScreen::WindowSteps steps;
        const auto platform = MouseAt(settings, -1, -1, false);
        steps.beforeFrame = [&] {
            beforeFrameThread = std::this_thread::get_id();
            platform();
        };
        steps.afterFrame = [&](ImDrawData& drawData, const ScreenSnapshot& shown) {
            afterFrameThread = std::this_thread::get_id();
            screenWasHosts = shown.virtualTime && drawData.CmdListsCount > 0;
        };
        frame = screen.Draw(steps, Served);
        done = true;
    });
    IdleUntil(*host, done);
    window.join();

    ASSERT_TRUE(frame.has_value());
    EXPECT_TRUE(frame->page.Contains("Sync Inventory"));
    EXPECT_EQ(pageCalls, 1);
    EXPECT_EQ(pageThread, std::this_thread::get_id()) << "the page was drawn off the game thread";
    EXPECT_EQ(beforeFrameThread, windowThread);
    EXPECT_EQ(afterFrameThread, windowThread);
    EXPECT_TRUE(screenWasHosts);
    EXPECT_EQ(host->Now(), before) << "drawing frames moved the virtual clock";
}

TEST_F(GameThreadScreenTest, AGameThreadOutOfItsLoopLeavesTheWindowWithoutAFrame)
{
    // No host: nobody to ask.
    EXPECT_FALSE(screen.Draw({}, NobodyServes).has_value());
    // A host whose game thread does not run its loop meanwhile.
    screen.Attach(&*host);
    EXPECT_FALSE(screen.Draw({}, NobodyServes).has_value());
    // The loop that runs late finds the frame taken back.
    host->RunUntilIdle();
    EXPECT_EQ(pageCalls, 0);
    // Closed at the session's end: no frame, without waiting.
    screen.Close();
    EXPECT_FALSE(screen.Draw({}, std::chrono::duration_cast<std::chrono::milliseconds>(1h)).has_value());
    host->RunUntilIdle();
    EXPECT_EQ(pageCalls, 0);
}

TEST_F(GameThreadScreenTest, AModalButtonClickedInTheWindowIsAnsweredOnTheGameThread)
{
    std::thread::id callbackThread;
    host->Game()->Execute([&callbackThread](GameWrapper* game) {
        ModalWrapper modal = game->CreateModal("Scammer detected");
        modal.SetBody("Proceed with caution!");
        modal.AddButton("OK", true, [&callbackThread] { callbackThread = std::this_thread::get_id(); });
        modal.ShowModal();
    });
    host->RunUntilIdle();
    ASSERT_TRUE(host->ScreenNow().modal.has_value());
    screen.Attach(&*host);

    std::optional<ScreenFrame> pressed;
    std::string failure;
    std::atomic<bool> done{false};
    std::thread window([&] {
        // One frame to see where the button is, then the mouse goes down on it and up again.
        GameThreadScreen::WindowSteps steps;
        steps.beforeFrame = MouseAt(settings, -1, -1, false);
        const std::optional<ScreenFrame> first = screen.Draw(steps, Served);
        if (!first || first->modalButtons.empty()) {
            failure = "the first frame showed no modal button";
        } else {
            const Box ok = first->modalButtons.front();
            steps.beforeFrame = MouseAt(settings, ok.CentreX(), ok.CentreY(), true);
            screen.Draw(steps, Served);
            steps.beforeFrame = MouseAt(settings, ok.CentreX(), ok.CentreY(), false);
            pressed = screen.Draw(steps, Served);
        }
        done = true;
    });
    IdleUntil(*host, done);
    window.join();
    ASSERT_EQ(failure, "");
    ASSERT_TRUE(pressed.has_value());
    EXPECT_EQ(pressed->pressedButton, std::optional<std::size_t>(0));
    // The callback was queued as a task; the loop runs it.
    host->RunUntilIdle();
    EXPECT_EQ(callbackThread, std::this_thread::get_id());
    EXPECT_TRUE(host->ConsoleContains("plexar-sim: modal \"Scammer detected\": OK pressed in the window"));
    EXPECT_FALSE(host->ScreenNow().modal.has_value());
}

}  // namespace
}  // namespace sim::ui
