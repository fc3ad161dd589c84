#pragma once
// Draws a Dear ImGui frame into a picture in software, the way a GPU back end would: every
// triangle of the draw lists, clipped to its command's rectangle, its vertex colours and texture
// coordinates interpolated across it, its texture (the font atlas, a toast's picture) sampled at
// the nearest texel, and the result blended over what is below by its alpha.
//
// Threads: the drawing thread, between ImGui::Render and the next ImGui::NewFrame.
#include <imgui.h>

#include "sim/ui/Textures.h"
#include "tools/plexar-sim/screen/Image.h"

namespace sim::ui {

// A picture of the frame's display area, starting from an opaque `background`. Throws
// std::invalid_argument when a draw command names a texture the table does not have.
Image Rasterise(const ImDrawData& drawData, const TextureTable& textures, ImU32 background);

}  // namespace sim::ui
