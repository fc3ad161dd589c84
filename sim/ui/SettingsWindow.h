#pragma once
// The host's settings window, without a screen. It owns the host's Dear ImGui context (the font
// atlas built, a display size set, no ini file) and draws a plug-in's page into it on demand: one
// window titled with the page's GetDisplayName whose content is its RenderSettings. After each
// frame it reads back what was drawn (Frame); it clicks a widget by its label with the mouse, and
// hands the last frame to whatever draws it into a picture (plexar-sim's rasteriser).
//
// It also draws the whole screen (plexar-sim --window, screen png): the page it was told to show
// (ShowPage) in the settings window at the top left, and around it the host's toasts, open modal
// and status line (ScreenWindows.h) from a copy of what the screen shows. A window on a display
// feeds the frame its input and draws the result (ScreenPass); without one the frame is drawn
// with no mouse and handed over to be pictured.
//
//   sim::ui::SettingsWindow window;
//   page.SetUiContext(window.UiContext());   // once, after the plug-in's onLoad
//   window.Draw(page).Get("Sync Inventory").Greyed();
//   window.Click(page, "Enable toasts");
//
// Time inside ImGui advances by a fixed step per frame, never by the wall clock, except in the
// frames a window on a display draws (its platform back end sets the step).
//
// Threads: any thread; the calls are serialised by mutex_, held for the whole call, so one frame
// is drawn at a time. The page is called on the thread that makes the call, so a host keeps to the
// plug-in's rule by making every call on the game thread: plexar-sim does, its window included
// (tools/plexar-sim/screen/GameThreadScreen.h), whose own ScreenPass steps run on the window's thread inside DrawScreen,
// under mutex_, while the game thread waits. The context is made current in the host's own copy of
// Dear ImGui at the start of each call; the plug-in has its own copy and makes the same context
// current there with SetUiContext. The page's RenderSettings and a ScreenPass run under mutex_ and
// must not call back into this object.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "host/PluginBase.h"
#include "sim/Host.h"
#include "sim/ui/Frame.h"
#include "sim/ui/ScreenLayout.h"
#include "sim/ui/Textures.h"

struct ImGuiContext;
struct ImDrawData;

namespace sim::ui {

class FrameReader;

struct SettingsWindowOptions {
    int width = 820;
    int height = 300;
};

// A window on a display, drawing the screen: both run under the settings window's lock, with its
// context current, on the drawing thread or on another while the drawing thread waits for it.
struct ScreenPass {
    // Before ImGui::NewFrame: the platform back end sets the display size, the time step and
    // the mouse.
    std::function<void()> beforeFrame;
    // After ImGui::Render: the renderer draws the frame.
    std::function<void(ImDrawData& drawData)> afterFrame;
};

// What one frame of the screen showed.
struct ScreenFrame {
    // The settings page, as Draw returns it; empty when no page is shown.
    Frame page;
    // The open modal's button pressed in this frame, if one was.
    std::optional<std::size_t> pressedButton;
    // Where the open modal's buttons are, in order; empty without a modal.
    std::vector<Box> modalButtons;
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

    // A frame to be pictured: its draw data and every texture its commands name. Called under
    // mutex_ with the context current; it must not call back into this object.
    using FrameUse = std::function<void(const ImDrawData& drawData, const TextureTable& textures)>;

    // Hands the last frame drawn (the whole window) to `use`. Throws std::logic_error before the
    // first frame.
    void UseLastFrame(const FrameUse& use) const;

    // The page the screen shows, or none (null). Once it returns, no frame uses the page it
    // replaced, so the caller may unload and delete that plug-in.
    void ShowPage(Plexar::Plugin::PluginSettingsWindow* page);
    // Draws one frame of the whole screen through `pass`. A throwing RenderSettings is reported
    // in the settings window ("RenderSettings threw: ...") instead of the page.
    ScreenFrame DrawScreen(const ScreenSnapshot& screen, const ScreenPass& pass);
    // Draws one frame of the screen with no display and hands it to `use`.
    void UseScreenFrame(const ScreenSnapshot& screen, const FrameUse& use);
    const ScreenLayout& Layout() const { return layout_; }

private:
    struct Mouse {
        float x;
        float y;
        bool down;
    };

    // The frames below assume mutex_ held.
    const Frame& DrawFrame(Plexar::Plugin::PluginSettingsWindow& page, const Mouse& mouse);
    ScreenFrame DrawScreenFrame(const ScreenSnapshot& screen, const ScreenPass& pass);
    // Begins the settings window and draws the page into it; the failure's text when it threw.
    std::string DrawPage(Plexar::Plugin::PluginSettingsWindow& page, int extraFlags);
    // Reads the settings window's own draw list back.
    Frame ReadSettingsWindow(const ImDrawData& drawData, const std::string& title) const;

    mutable std::mutex mutex_;
    SettingsWindowOptions options_;
    ScreenLayout layout_;
    ImGuiContext* context_;
    std::unique_ptr<FrameReader> reader_;
    Frame lastFrame_;
    bool drawn_ = false;
    Plexar::Plugin::PluginSettingsWindow* shownPage_ = nullptr;
};

}  // namespace sim::ui
