#pragma once
// The host's own windows around the settings window, drawn into the current Dear ImGui frame from
// a copy of what the screen shows (sim::ScreenSnapshot): each toast still up in a column at the
// right (its picture, title, text, kind and the seconds left), the open modal dialog with its
// body and buttons over the middle, and a status line along the bottom (the clock, virtual or
// real time, the requests in flight).
//
// A toast's picture is drawn with the ImTextureID that is the address of its sim::ToastTexture;
// ScreenTextures lists them, with their texels, for a renderer.
//
// Threads: the drawing thread of the context, between ImGui::NewFrame and ImGui::Render.
#include <cstddef>
#include <optional>
#include <vector>

#include <imgui.h>

#include "sim/Host.h"
#include "sim/ui/Frame.h"
#include "sim/ui/ScreenLayout.h"
#include "sim/ui/Textures.h"

namespace sim::ui {

struct ScreenWindowsDrawn {
    // The index of the modal button pressed in this frame, if one was.
    std::optional<std::size_t> pressedButton;
    // Where the open modal's buttons are, in order; empty without a modal.
    std::vector<Box> modalButtons;
};

// Draws the toasts, the modal and the status line.
ScreenWindowsDrawn DrawScreenWindows(const ScreenSnapshot& screen, const ScreenLayout& layout);

// The textures the snapshot's toasts show, by the id DrawScreenWindows draws them with.
TextureTable ScreenTextures(const ScreenSnapshot& screen);

}  // namespace sim::ui
