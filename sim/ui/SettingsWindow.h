#pragma once
// The host's settings window, without a screen. It owns the host's Dear ImGui context (the font
// atlas built, a display size set, no ini file) and draws a plug-in's page into it on demand: one
// window titled with the page's GetDisplayName whose content is its RenderSettings. After each
// frame it reads back what was drawn (Frame); it clicks a widget by its label with the mouse, and
// draws the last frame into a picture.
//
//   sim::ui::SettingsWindow window;
//   page.SetUiContext(window.UiContext());   // once, after the plug-in's onLoad
//   window.Draw(page).Get("Sync Inventory").Greyed();
//   window.Click(page, "Enable toasts");
//
// Time inside ImGui advances by a fixed step per frame, never by the wall clock.
//
// Threads: one drawing thread makes every call (plexar-sim: the game thread; tests: the test's
// thread). The context is made current in the host's own copy of Dear ImGui at the start of each
// call; the plug-in has its own copy and makes the same context current there with SetUiContext.
#include <cstdint>
#include <memory>
#include <string_view>

#include "host/PluginBase.h"
#include "sim/ui/Frame.h"
#include "sim/ui/Image.h"

struct ImGuiContext;

namespace sim::ui {

class FrameReader;

struct SettingsWindowOptions {
    int width = 820;
    int height = 300;
};

class SettingsWindow {
public:
    explicit SettingsWindow(SettingsWindowOptions options = {});
    ~SettingsWindow();
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    // What the host hands the plug-in's SetUiContext: the address of its ImGuiContext.
    std::uintptr_t UiContext() const;

    // Draws one frame of the page and returns what it showed. When RenderSettings throws, the
    // frame is closed and a std::runtime_error "RenderSettings threw: ..." follows.
    const Frame& Draw(Plexar::Plugin::PluginSettingsWindow& page);

    // Clicks the button or checkbox labelled `label` (or whose label starts with its words: see
    // Frame::GetByLabel) in the last frame drawn: the mouse goes down
    // on its label in one frame and up in the next, as a player's click; both frames are drawn.
    // Returns the item clicked, as the last frame showed it (a greyed one ignores the click).
    // Throws std::invalid_argument when the last frame has no such widget, or only a plain text.
    DrawnItem Click(Plexar::Plugin::PluginSettingsWindow& page, std::string_view label);

    // The last frame drawn, as a picture of the whole window. Throws std::logic_error before the
    // first frame.
    Image Picture() const;

private:
    struct Mouse {
        float x;
        float y;
        bool down;
    };

    const Frame& DrawFrame(Plexar::Plugin::PluginSettingsWindow& page, const Mouse& mouse);

    SettingsWindowOptions options_;
    ImGuiContext* context_;
    std::unique_ptr<FrameReader> reader_;
    Frame lastFrame_;
    bool drawn_ = false;
};

}  // namespace sim::ui
