#pragma once
// What a scenario step acts on: the host, the plug-in loaded into it and the host's settings
// window.
//
// Threads: steps run on the thread that plays the scenario, which is also the host's game thread.
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "sim/Host.h"
#include "sim/ui/SettingsWindow.h"
#include "tools/plexar-sim/PluginSession.h"
#include "tools/plexar-sim/screen/Image.h"

namespace plexarsim {

// How much of each kind the host had seen when a scenario's `mark NAME` was played; an
// `expect-... --since NAME` looks only at what came after.
struct JournalMark {
    std::size_t consoleLines = 0;
    std::size_t toasts = 0;
    std::size_t modals = 0;
    std::size_t requests = 0;
};

struct Session {
    sim::Host& host;
    PluginSession& plugin;
    sim::ui::SettingsWindow& settingsWindow;
    // Where commands print what they report (a reply, a modal, a page), beside the journal.
    std::ostream& out;
    // With a window (--window): the next frame of the screen as OpenGL drew it, nothing once the
    // window is closed. Empty without a window.
    std::function<std::optional<sim::ui::Image>()> screenPicture = {};
    // True while lines typed at the interactive prompt are played: a console line naming nothing
    // the console knows is then only logged, as in the game, instead of failing the step.
    bool atPrompt = false;
    // Set by `quit`: the scenario stops there and the session ends (no prompt, no waiting for the
    // window to be closed).
    bool quitRequested = false;
    // The marks set so far, by name.
    std::map<std::string, JournalMark> marks = {};
};

// One parsed scenario command, ready to play. Throws std::exception with the reason on failure.
using StepAction = std::function<void(Session& session)>;

}  // namespace plexarsim
