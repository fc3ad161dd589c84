#pragma once
// The host's screen in a real window: GLFW opens it on the display, Dear ImGui's GLFW back end
// feeds it the mouse and keys, and its OpenGL 3 back end draws each frame of the settings
// window's screen (SettingsWindow::DrawScreen): the plug-in's page, the toasts with their
// pictures, the open modal and the status line. A frame can be read back from OpenGL as a
// picture.
//
// Input arrives through GLFW's callbacks while WaitForInput waits; they are queued and handed to
// the back end inside the next frame, under the settings window's lock, so the context's input
// state is only ever touched by the thread that holds it.
//
// Threads: one thread (the main thread) makes every call but Wake, which any thread may call. The
// process's only ScreenWindow owns GLFW for its lifetime.
#include <memory>
#include <string>

#include "sim/Host.h"
#include "sim/ui/Image.h"
#include "sim/ui/SettingsWindow.h"

struct GLFWwindow;

namespace sim::ui {

class GlScreenRenderer;

class ScreenWindow {
public:
    // Opens a window of the screen's size titled `title`. Throws std::runtime_error with GLFW's
    // reason when there is no display or no OpenGL 3.
    ScreenWindow(SettingsWindow& settings, const std::string& title);
    ~ScreenWindow();
    ScreenWindow(const ScreenWindow&) = delete;
    ScreenWindow& operator=(const ScreenWindow&) = delete;

    // The player asked to close the window.
    bool CloseRequested() const;
    void Hide();
    // Waits for input, a Wake, or `seconds`, whichever comes first.
    void WaitForInput(double seconds);
    // Ends a WaitForInput at once. Any thread.
    static void Wake();

    // Draws one frame of `screen` and shows it; with `picture`, also reads it back into it.
    ScreenFrame Draw(const ScreenSnapshot& screen, Image* picture);

private:
    struct Input;

    void BeforeFrame();
    void AfterFrame(ImDrawData& drawData, const ScreenSnapshot& screen, Image* picture);

    SettingsWindow& settings_;
    GLFWwindow* window_ = nullptr;
    std::unique_ptr<Input> input_;
    std::unique_ptr<GlScreenRenderer> renderer_;
};

}  // namespace sim::ui
