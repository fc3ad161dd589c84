#include "tools/plexar-sim/screen/ScreenWindow.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <variant>
#include <vector>

#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <imgui.h>

#include "tools/plexar-sim/screen/GlScreenRenderer.h"

namespace sim::ui {
namespace {

// GLFW reports errors through a callback; the last one explains a failed call.
std::string lastGlfwError;

void RememberGlfwError(int code, const char* description)
{
    lastGlfwError = std::to_string(code) + ": " + (description != nullptr ? description : "no description");
}

ImGuiContext* ContextOf(const SettingsWindow& settings)
{
    return reinterpret_cast<ImGuiContext*>(settings.UiContext());
}

}  // namespace

// GLFW's input events, as they came, for the next frame.
struct ScreenWindow::Input {
    struct MouseButton {
        int button, action, mods;
    };
    struct Scroll {
        double x, y;
    };
    struct Key {
        int key, scancode, action, mods;
    };
    struct Character {
        unsigned codepoint;
    };
    struct CursorEnter {
        int entered;
    };
    struct Focus {
        int focused;
    };
    using Event = std::variant<MouseButton, Scroll, Key, Character, CursorEnter, Focus>;
    std::vector<Event> events;

    static Input& Of(GLFWwindow* window) { return *static_cast<Input*>(glfwGetWindowUserPointer(window)); }
};

ScreenWindow::ScreenWindow(SettingsWindow& settings, const std::string& title)
    : settings_(settings), title_(title), input_(std::make_unique<Input>())
{
    glfwSetErrorCallback(RememberGlfwError);
    if (glfwInit() == GLFW_FALSE) {
        throw std::runtime_error("cannot open a window: " + lastGlfwError);
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
    const ScreenLayout& layout = settings_.Layout();
    window_ = glfwCreateWindow(static_cast<int>(layout.width), static_cast<int>(layout.height), title.c_str(),
                               nullptr, nullptr);
    if (window_ == nullptr) {
        glfwTerminate();
        throw std::runtime_error("cannot open a window: " + lastGlfwError);
    }
    glfwMakeContextCurrent(window_);
    glfwSwapInterval(1);

    glfwSetWindowUserPointer(window_, input_.get());
    glfwSetMouseButtonCallback(window_, [](GLFWwindow* window, int button, int action, int mods) {
        Input::Of(window).events.emplace_back(Input::MouseButton{button, action, mods});
    });
    glfwSetScrollCallback(window_, [](GLFWwindow* window, double x, double y) {
        Input::Of(window).events.emplace_back(Input::Scroll{x, y});
    });
    glfwSetKeyCallback(window_, [](GLFWwindow* window, int key, int scancode, int action, int mods) {
        Input::Of(window).events.emplace_back(Input::Key{key, scancode, action, mods});
    });
    glfwSetCharCallback(window_, [](GLFWwindow* window, unsigned codepoint) {
        Input::Of(window).events.emplace_back(Input::Character{codepoint});
    });
    glfwSetCursorEnterCallback(window_, [](GLFWwindow* window, int entered) {
        Input::Of(window).events.emplace_back(Input::CursorEnter{entered});
    });
    glfwSetWindowFocusCallback(window_, [](GLFWwindow* window, int focused) {
        Input::Of(window).events.emplace_back(Input::Focus{focused});
    });
    // The back ends live in this program's copy of Dear ImGui, over the host's context.
    ImGui::SetCurrentContext(ContextOf(settings_));
    try {
        renderer_ = std::make_unique<GlScreenRenderer>(glfwGetProcAddress);
    } catch (const std::exception& error) {
        glfwDestroyWindow(window_);
        glfwTerminate();
        throw std::runtime_error(std::string("cannot open a window: ") + error.what());
    }
    ImGui_ImplGlfw_InitForOpenGL(window_, false);
}

ScreenWindow::~ScreenWindow()
{
    ImGui::SetCurrentContext(ContextOf(settings_));
    renderer_.reset();
    ImGui_ImplGlfw_Shutdown();
    glfwDestroyWindow(window_);
    glfwTerminate();
}

bool ScreenWindow::CloseRequested() const
{
    return glfwWindowShouldClose(window_) != 0;
}

void ScreenWindow::Hide()
{
    glfwHideWindow(window_);
}

void ScreenWindow::WaitForInput(double seconds)
{
    glfwWaitEventsTimeout(seconds);
}

void ScreenWindow::Wake()
{
    glfwPostEmptyEvent();
}

void ScreenWindow::SetTitleNote(const std::string& note)
{
    if (note == titleNote_) {
        return;
    }
    titleNote_ = note;
    const std::string title = note.empty() ? title_ : title_ + " (" + note + ")";
    glfwSetWindowTitle(window_, title.c_str());
}

void ScreenWindow::BeforeFrame()
{
    ImGui::SetCurrentContext(ContextOf(settings_));
    for (const Input::Event& event : input_->events) {
        std::visit(
            [this](const auto& happened) {
                using Kind = std::decay_t<decltype(happened)>;
                if constexpr (std::is_same_v<Kind, Input::MouseButton>) {
                    ImGui_ImplGlfw_MouseButtonCallback(window_, happened.button, happened.action, happened.mods);
                } else if constexpr (std::is_same_v<Kind, Input::Scroll>) {
                    ImGui_ImplGlfw_ScrollCallback(window_, happened.x, happened.y);
                } else if constexpr (std::is_same_v<Kind, Input::Key>) {
                    ImGui_ImplGlfw_KeyCallback(window_, happened.key, happened.scancode, happened.action, happened.mods);
                } else if constexpr (std::is_same_v<Kind, Input::Character>) {
                    ImGui_ImplGlfw_CharCallback(window_, happened.codepoint);
                } else if constexpr (std::is_same_v<Kind, Input::CursorEnter>) {
                    ImGui_ImplGlfw_CursorEnterCallback(window_, happened.entered);
                } else {
                    ImGui_ImplGlfw_WindowFocusCallback(window_, happened.focused);
                }
            },
            event);
    }
    input_->events.clear();
    renderer_->NewFrame();
    ImGui_ImplGlfw_NewFrame();
}

void ScreenWindow::AfterFrame(ImDrawData& drawData, const ScreenSnapshot& screen, Image* picture)
{
    ImGui::SetCurrentContext(ContextOf(settings_));
    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(window_, &width, &height);
    renderer_->Render(drawData, screen, width, height, picture);
}

void ScreenWindow::Present()
{
    glfwSwapBuffers(window_);
}

}  // namespace sim::ui
