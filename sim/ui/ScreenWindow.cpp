#include "sim/ui/ScreenWindow.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <variant>

#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include "sim/ToastTexture.h"
#include "sim/ui/ScreenWindows.h"

namespace sim::ui {
namespace {

// What shows where no window is: the same as in the rasterised pictures.
constexpr float DesktopGrey[3] = {24 / 255.0f, 24 / 255.0f, 28 / 255.0f};

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

// The OpenGL calls made here, looked up through GLFW once the window's context is current, so
// the program loads OpenGL only when it opens a window (as the OpenGL 3 back end does).
struct ScreenWindow::Gl {
    void(APIENTRY* genTextures)(GLsizei, GLuint*);
    void(APIENTRY* deleteTextures)(GLsizei, const GLuint*);
    void(APIENTRY* bindTexture)(GLenum, GLuint);
    void(APIENTRY* texParameteri)(GLenum, GLenum, GLint);
    void(APIENTRY* pixelStorei)(GLenum, GLint);
    void(APIENTRY* texImage2D)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*);
    void(APIENTRY* viewport)(GLint, GLint, GLsizei, GLsizei);
    void(APIENTRY* clearColor)(GLfloat, GLfloat, GLfloat, GLfloat);
    void(APIENTRY* clear)(GLbitfield);
    void(APIENTRY* readPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);

    static Gl Load()
    {
        Gl gl{};
        const auto load = [](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(glfwGetProcAddress(name));
            if (function == nullptr) {
                throw std::runtime_error(std::string("cannot open a window: OpenGL has no ") + name);
            }
        };
        load(gl.genTextures, "glGenTextures");
        load(gl.deleteTextures, "glDeleteTextures");
        load(gl.bindTexture, "glBindTexture");
        load(gl.texParameteri, "glTexParameteri");
        load(gl.pixelStorei, "glPixelStorei");
        load(gl.texImage2D, "glTexImage2D");
        load(gl.viewport, "glViewport");
        load(gl.clearColor, "glClearColor");
        load(gl.clear, "glClear");
        load(gl.readPixels, "glReadPixels");
        return gl;
    }
};

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
    : settings_(settings), input_(std::make_unique<Input>())
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
    try {
        gl_ = std::make_unique<Gl>(Gl::Load());
    } catch (...) {
        glfwDestroyWindow(window_);
        glfwTerminate();
        throw;
    }
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
    ImGui_ImplGlfw_InitForOpenGL(window_, false);
    ImGui_ImplOpenGL3_Init("#version 130");
}

ScreenWindow::~ScreenWindow()
{
    ImGui::SetCurrentContext(ContextOf(settings_));
    for (const auto& [address, uploaded] : glTextures_) {
        gl_->deleteTextures(1, &uploaded.second);
    }
    ImGui_ImplOpenGL3_Shutdown();
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

ScreenFrame ScreenWindow::Draw(const ScreenSnapshot& screen, Image* picture)
{
    ImGui::SetCurrentContext(ContextOf(settings_));
    ScreenPass pass;
    pass.beforeFrame = [this] { BeforeFrame(); };
    pass.afterFrame = [&](ImDrawData& drawData) { AfterFrame(drawData, screen, picture); };
    return settings_.DrawScreen(screen, pass);
}

void ScreenWindow::BeforeFrame()
{
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
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
}

void ScreenWindow::AfterFrame(ImDrawData& drawData, const ScreenSnapshot& screen, Image* picture)
{
    // The toasts' pictures are named by their host texture's address; OpenGL needs its own names.
    std::map<ImTextureID, unsigned> glNames;
    for (const ScreenSnapshot::Toast& toast : screen.toasts) {
        if (toast.texture) {
            glNames[reinterpret_cast<ImTextureID>(const_cast<ToastTexture*>(toast.texture.get()))] =
                GlTexture(toast.texture);
        }
    }
    for (int list = 0; list < drawData.CmdListsCount; ++list) {
        for (ImDrawCmd& command : drawData.CmdLists[list]->CmdBuffer) {
            const auto found = glNames.find(command.TextureId);
            if (found != glNames.end()) {
                command.TextureId = reinterpret_cast<ImTextureID>(static_cast<std::uintptr_t>(found->second));
            }
        }
    }
    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(window_, &width, &height);
    gl_->viewport(0, 0, width, height);
    gl_->clearColor(DesktopGrey[0], DesktopGrey[1], DesktopGrey[2], 1.0f);
    gl_->clear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(&drawData);
    if (picture != nullptr) {
        picture->width = width;
        picture->height = height;
        picture->rgba.assign(static_cast<std::size_t>(width) * height * 4, 0);
        gl_->pixelStorei(GL_PACK_ALIGNMENT, 1);
        gl_->readPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, picture->rgba.data());
        // OpenGL's rows run from the bottom; a picture's from the top.
        const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
        for (int row = 0; row < height / 2; ++row) {
            std::swap_ranges(picture->rgba.begin() + row * rowBytes, picture->rgba.begin() + (row + 1) * rowBytes,
                             picture->rgba.begin() + (height - 1 - row) * rowBytes);
        }
        for (std::size_t alpha = 3; alpha < picture->rgba.size(); alpha += 4) {
            picture->rgba[alpha] = 255;
        }
    }
    glfwSwapBuffers(window_);
}

unsigned ScreenWindow::GlTexture(const std::shared_ptr<const ToastTexture>& texture)
{
    const auto found = glTextures_.find(texture.get());
    if (found != glTextures_.end()) {
        return found->second.second;
    }
    GLuint name = 0;
    gl_->genTextures(1, &name);
    gl_->bindTexture(GL_TEXTURE_2D, name);
    gl_->texParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl_->texParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl_->pixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl_->texImage2D(GL_TEXTURE_2D, 0, GL_RGBA, texture->width, texture->height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 texture->rgba.data());
    glTextures_.emplace(texture.get(), std::make_pair(texture, name));
    return name;
}

}  // namespace sim::ui
