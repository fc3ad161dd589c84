#pragma once
// What a scenario step acts on: the host, the plug-in loaded into it and the host's settings
// window.
//
// Threads: steps run on the thread that plays the scenario, which is also the host's game thread.
#include <functional>
#include <optional>
#include <ostream>

#include "sim/Host.h"
#include "sim/ui/SettingsWindow.h"
#include "tools/plexar-sim/PluginSession.h"
#include "tools/plexar-sim/screen/Image.h"

namespace plexarsim {

struct Session {
    sim::Host& host;
    PluginSession& plugin;
    sim::ui::SettingsWindow& settingsWindow;
    // Where commands print what they report (a reply, a modal, a page), beside the journal.
    std::ostream& out;
    // With a window (--window): the next frame of the screen as OpenGL drew it, nothing once the
    // window is closed. Empty without a window.
    std::function<std::optional<sim::ui::Image>()> screenPicture = {};
};

// One parsed scenario command, ready to play. Throws std::exception with the reason on failure.
using StepAction = std::function<void(Session& session)>;

}  // namespace plexarsim
