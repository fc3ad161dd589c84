#pragma once
// The interactive session: lines typed at the prompt are read and played one by one, as lines of
// a scenario file (the same commands, the same messages), or, when a line starts with a cvar or
// console command name instead, as a console line; meanwhile the game loop keeps running
// between them, so timers, HTTP answers and WebSocket messages happen while the prompt waits. A
// bad line or a failing command is reported and the session goes on; the end of the input
// (Ctrl-D) ends it.
//
// Time at the prompt: in real time the game loop runs on while nothing is typed. In virtual time
// the clock stands still at the prompt: queued tasks, HTTP answers and a window's frames are still
// handled as they come, at the moment the clock shows, and timers fall due only when a `wait`
// moves the clock.
//
// Threads: Run is called on the game thread (the thread that plays the session) and starts the
// prompt's reader thread, which reads lines with the LineEditor and hands them over through
// TypedLines; Run joins it before it returns. The settings labels Tab offers are drawn on the game
// thread after each line and read by the reader under labelsMutex_.
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/plexar-sim/CommandRegistry.h"
#include "tools/plexar-sim/LineEditor.h"
#include "tools/plexar-sim/ScenarioParser.h"
#include "tools/plexar-sim/Session.h"

namespace plexarsim {

// Lines handed from the reader thread to the game thread, then the end of the input.
// Threads: any; guarded by mutex_.
class TypedLines {
public:
    void Push(std::string line);
    void Finish();

    struct Next {
        std::optional<std::string> line;
        bool finished = false;  // no line is left and none will come
    };
    // The next line; waits up to `patience` for one when none is queued.
    Next Take(std::chrono::milliseconds patience);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> lines_;
    bool finished_ = false;
};

class InteractiveConsole {
public:
    // How often the game thread looks for a typed line while the game loop runs.
    static constexpr std::chrono::milliseconds LookForLinesEvery{20};

    // Reports go to errors. The editor and the registry must outlive the console.
    InteractiveConsole(LineEditor& editor, const CommandRegistry& commands, std::ostream& errors);

    // Plays typed lines until the input ends; the history is kept in historyFile. Never throws
    // for a typed line.
    void Run(Session& session, const std::filesystem::path& historyFile);

private:
    void Play(const std::string& line, Session& session);
    // A line that names no scenario command but starts with a cvar or console command name, as
    // typed into the host's console.
    bool IsConsoleLine(const std::string& line, const sim::Host& host) const;
    // Runs the game loop (Host::Idle) for LookForLinesEvery, then takes a line typed meanwhile.
    TypedLines::Next Idle(Session& session);
    void RefreshSettingsLabels(Session& session);
    std::vector<std::string> SettingsLabels() const;

    LineEditor& editor_;
    const CommandRegistry& commands_;
    const ScenarioParser parser_;
    std::ostream& errors_;
    TypedLines lines_;
    int linesTyped_ = 0;

    mutable std::mutex labelsMutex_;
    std::vector<std::string> settingsLabels_;
};

}  // namespace plexarsim
