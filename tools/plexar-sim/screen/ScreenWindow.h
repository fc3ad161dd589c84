#pragma once
// The host's screen in a real window: GLFW opens it on the display, Dear ImGui's GLFW back end
// feeds it the mouse and keys, and its OpenGL 3 back end draws each frame of the settings
// window's screen (SettingsWindow::DrawScreen, drawn on the game thread: GameThreadScreen.h): the
// plug-in's page, the toasts with their pictures, the open modal and the status line. A frame can
// be read back from OpenGL as a picture.
//
// Input arrives through GLFW's callbacks while WaitForInput waits; they are queued and handed to
// the back end in BeforeFrame, which runs inside the frame while the thread drawing it waits, so
// the context's input state is never touched by two threads at once.
//
// Threads: one thread (the main thread) makes every call but Wake, which any thread may call; it
// owns GLFW and the OpenGL context. BeforeFrame and AfterFrame use the settings window's ImGui
// context and may run only inside a frame being drawn (as GameThreadScreen's window steps), the
// constructor and destructor only while no frame is. The process's only ScreenWindow owns GLFW for
// its lifetime.
#include <memory>
#include <string>

#include "sim/Host.h"
#include "tools/plexar-sim/screen/Image.h"
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

    // The title's note after the window's name ("the game thread is busy"); none when empty.
    void SetTitleNote(const std::string& note);

    // Inside a frame, before ImGui::NewFrame: hands the input queued since the last frame, the
    // window's size and the mouse to the back ends.
    void BeforeFrame();
    // Inside a frame, after ImGui::Render: draws it into the window's back buffer; with `picture`,
    // also reads it back into it.
    void AfterFrame(ImDrawData& drawData, const ScreenSnapshot& screen, Image* picture);
    // Shows the frame AfterFrame drew. Outside the frame, so a swap that waits for the display
    // does not keep the game thread.
    void Present();

private:
    struct Input;

    SettingsWindow& settings_;
    const std::string title_;
    std::string titleNote_;
    GLFWwindow* window_ = nullptr;
    std::unique_ptr<Input> input_;
    std::unique_ptr<GlScreenRenderer> renderer_;
};

}  // namespace sim::ui
