#include "tools/plexar-sim/screen/GlScreenRenderer.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>

#include <GL/gl.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include "sim/ToastTexture.h"

namespace sim::ui {
namespace {

// What shows where no window is: the same as in the rasterised pictures.
constexpr float DesktopGrey[3] = {24 / 255.0f, 24 / 255.0f, 28 / 255.0f};

}  // namespace

// The OpenGL calls made here, looked up at run time, so the program loads OpenGL only when it
// draws with it (as the OpenGL 3 back end does).
struct GlScreenRenderer::Gl {
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

    explicit Gl(FunctionLookup lookup)
    {
        const auto load = [lookup](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(lookup(name));
            if (function == nullptr) {
                throw std::runtime_error(std::string("OpenGL has no ") + name);
            }
        };
        load(genTextures, "glGenTextures");
        load(deleteTextures, "glDeleteTextures");
        load(bindTexture, "glBindTexture");
        load(texParameteri, "glTexParameteri");
        load(pixelStorei, "glPixelStorei");
        load(texImage2D, "glTexImage2D");
        load(viewport, "glViewport");
        load(clearColor, "glClearColor");
        load(clear, "glClear");
        load(readPixels, "glReadPixels");
    }
};

GlScreenRenderer::GlScreenRenderer(FunctionLookup lookup) : gl_(std::make_unique<Gl>(lookup))
{
    if (!ImGui_ImplOpenGL3_Init("#version 130")) {
        throw std::runtime_error("Dear ImGui's OpenGL 3 back end did not start");
    }
}

GlScreenRenderer::~GlScreenRenderer()
{
    for (const auto& [address, uploaded] : textures_) {
        gl_->deleteTextures(1, &uploaded.second);
    }
    ImGui_ImplOpenGL3_Shutdown();
}

void GlScreenRenderer::NewFrame()
{
    ImGui_ImplOpenGL3_NewFrame();
}

void GlScreenRenderer::Render(ImDrawData& drawData, const ScreenSnapshot& screen, int width, int height,
                              Image* picture)
{
    std::map<ImTextureID, unsigned> glNames;
    for (const ScreenSnapshot::Toast& toast : screen.toasts) {
        if (toast.texture) {
            glNames[reinterpret_cast<ImTextureID>(const_cast<ToastTexture*>(toast.texture.get()))] =
                Texture(toast.texture);
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
    gl_->viewport(0, 0, width, height);
    gl_->clearColor(DesktopGrey[0], DesktopGrey[1], DesktopGrey[2], 1.0f);
    gl_->clear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(&drawData);
    if (picture == nullptr) {
        return;
    }
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

unsigned GlScreenRenderer::Texture(const std::shared_ptr<const ToastTexture>& texture)
{
    const auto found = textures_.find(texture.get());
    if (found != textures_.end()) {
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
    textures_.emplace(texture.get(), std::make_pair(texture, name));
    return name;
}

}  // namespace sim::ui
