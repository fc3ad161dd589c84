#pragma once
// Prints the host's journal as it happens: one line per entry on the output, stamped with the
// seconds since the session started ("[   5.003] Plugin loaded!"); continuation lines of a
// multi-line entry (HTTP bodies) are indented under the text. The host's text already says what
// kind of entry it is ("toast: ...", "http< 200 ..."); console lines are the plug-in's own. Those
// also go, as logged and nothing else, to the console log when there is one.
//
// Threads: Print is called on whichever thread caused the entry (game thread, HTTP threads);
// a mutex keeps lines whole and in order on both streams.
#include <mutex>
#include <ostream>
#include <string>

#include "sim/Host.h"

namespace plexarsim {

class JournalPrinter {
public:
    // consoleLog may be null. Both streams must outlive the printer.
    JournalPrinter(sim::Clock::time_point start, std::ostream& output, std::ostream* consoleLog);

    // Never throws: it is the host's journal sink. A line that cannot be written is reported on
    // stderr.
    void Print(const sim::JournalEntry& entry) noexcept;
    // A line of a command's report ("settings:", a modal), as it is.
    void PrintLine(const std::string& line) noexcept;
    // A log line of a library inside the plug-in (WebSocket++), stamped and marked as such; its
    // usual lines at shutdown are marked as usual.
    void PrintLibraryLine(sim::Clock::time_point at, const std::string& line) noexcept;

private:
    // Writes the text, which ends in '\n', to the output; under mutex_.
    void Write(const std::string& text) noexcept;
    std::string Stamped(sim::Clock::time_point at, const std::string& text) const;

    const sim::Clock::time_point start_;
    std::mutex mutex_;
    std::ostream& output_;
    std::ostream* consoleLog_;
};

}  // namespace plexarsim
