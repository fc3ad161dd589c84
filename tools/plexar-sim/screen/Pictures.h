#pragma once
// Pictures of the host's settings window and of the whole screen without a display (`settings
// png`, `screen png` without --window): its frames drawn in software over the desktop's colour.
//
// Threads: as the settings window's calls (any thread, serialised by its lock).
#include "sim/Host.h"
#include "sim/ui/SettingsWindow.h"
#include "tools/plexar-sim/screen/Image.h"

namespace sim::ui {

// The last frame the window drew. Throws std::logic_error before the first frame.
Image SettingsPicture(const SettingsWindow& window);

// One frame of the whole screen, drawn now.
Image ScreenPicture(SettingsWindow& window, const ScreenSnapshot& screen);

}  // namespace sim::ui
