#pragma once
// Draws frames of the host's screen with OpenGL 3 through Dear ImGui's OpenGL 3 back end, into
// whatever framebuffer is bound (a window's, or one off screen), and reads a frame back as a
// picture. The toasts' pictures, which the screen names by their host texture's address, are
// uploaded as OpenGL textures when first seen and drawn under those.
//
// Threads: the thread whose OpenGL context is current makes every call; this program's copy of
// Dear ImGui must have the host's context current.
#include <map>
#include <memory>
#include <utility>

#include "sim/Host.h"
#include "tools/plexar-sim/screen/Image.h"

struct ImDrawData;

namespace sim::ui {

class GlScreenRenderer {
public:
    using GlFunction = void (*)();
    // Looks up an OpenGL function by name: glfwGetProcAddress, eglGetProcAddress.
    using FunctionLookup = GlFunction (*)(const char* name);

    // The OpenGL context must be current. Throws std::runtime_error naming a missing function.
    explicit GlScreenRenderer(FunctionLookup lookup);
    ~GlScreenRenderer();
    GlScreenRenderer(const GlScreenRenderer&) = delete;
    GlScreenRenderer& operator=(const GlScreenRenderer&) = delete;

    // Before ImGui::NewFrame.
    void NewFrame();
    // After ImGui::Render: draws the frame over the desktop colour into a framebuffer of that
    // size; with `picture`, reads it back into it (rows from the top, opaque).
    void Render(ImDrawData& drawData, const ScreenSnapshot& screen, int width, int height, Image* picture);

private:
    struct Gl;

    unsigned Texture(const std::shared_ptr<const ToastTexture>& texture);

    std::unique_ptr<Gl> gl_;
    // Pictures uploaded, by the texture's address; the texture is kept so the address stays its.
    std::map<const ToastTexture*, std::pair<std::shared_ptr<const ToastTexture>, unsigned>> textures_;
};

}  // namespace sim::ui
