#pragma once
// Draws a Dear ImGui frame into a picture in software, the way a GPU back end would: every
// triangle of the draw lists, clipped to its command's rectangle, its vertex colours and texture
// coordinates interpolated across it, the font atlas sampled at the nearest texel, and the result
// blended over what is below by its alpha.
//
// Threads: the drawing thread, between ImGui::Render and the next ImGui::NewFrame.
#include <imgui.h>

#include "sim/ui/Image.h"

namespace sim::ui {

// The font atlas as 8-bit RGBA texels (ImFontAtlas::GetTexDataAsRGBA32); the frame's only texture.
struct AtlasTexture {
    const unsigned char* rgba;
    int width;
    int height;
};

// A picture of the frame's display area, starting from an opaque `background`.
Image Rasterise(const ImDrawData& drawData, const AtlasTexture& atlas, ImU32 background);

}  // namespace sim::ui
