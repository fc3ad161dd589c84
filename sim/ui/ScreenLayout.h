#pragma once
// Where the host's screen puts things: the whole screen's size, with the settings window at its
// top-left corner; the toasts, the modal and the status line fill the rest (ScreenWindows.h).
//
// Threads: a plain value.
namespace sim::ui {

struct ScreenLayout {
    float width = 1180;
    float height = 440;
    float settingsWidth = 820;
    float settingsHeight = 300;
};

}  // namespace sim::ui
