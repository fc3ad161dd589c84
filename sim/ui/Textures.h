#pragma once
// The textures a Dear ImGui frame's draw commands name, with their texels, for whatever draws the
// frame into a picture (plexar-sim's software rasteriser).
//
// Threads: plain values; the texels belong to the frame's owner and stay valid while it draws.
#include <map>

namespace sim::ui {

// A texture as 8-bit RGBA texels, rows from the top: the font atlas
// (ImFontAtlas::GetTexDataAsRGBA32) or a picture shown in the frame.
struct TextureView {
    const unsigned char* rgba;
    int width;
    int height;
};

// Every texture the frame's draw commands name, by the id they name it with (an ImTextureID, which
// is a pointer in this build of Dear ImGui; kept out of this header so that its includers need no
// ImGui headers).
using TextureTable = std::map<void*, TextureView>;

}  // namespace sim::ui
