#include "tools/plexar-sim/JournalPrinter.h"

#include <cstdio>
#include <string>
#include <string_view>

#include <fmt/format.h>

namespace plexarsim {

namespace {

// "[ seconds] " is this wide; continuation lines start this far in.
constexpr std::size_t PrefixWidth = 11;

std::string IndentContinuationLines(std::string_view text)
{
    std::string indented;
    for (const char c : text) {
        indented += c;
        if (c == '\n') {
            indented.append(PrefixWidth, ' ');
        }
    }
    return indented;
}

}  // namespace

JournalPrinter::JournalPrinter(sim::Clock::time_point start, std::ostream& output,
                               std::ostream* consoleLog)
    : start_(start), output_(output), consoleLog_(consoleLog)
{
}

std::string JournalPrinter::Stamped(sim::Clock::time_point at, const std::string& text) const
{
    const double seconds = std::chrono::duration<double>(at - start_).count();
    return fmt::format("[{:8.3f}] {}\n", seconds, IndentContinuationLines(text));
}

void JournalPrinter::Print(const sim::JournalEntry& entry) noexcept
{
    try {
        // How the scenario ended closes the output as a line of its own, unstamped.
        const std::string line =
            entry.kind == sim::JournalEntry::Kind::Result ? entry.text + '\n' : Stamped(entry.at, entry.text);
        std::lock_guard<std::mutex> lock(mutex_);
        Write(line);
        if (consoleLog_ != nullptr && entry.kind == sim::JournalEntry::Kind::Console) {
            *consoleLog_ << entry.text << '\n' << std::flush;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plexar-sim: a journal entry could not be printed: %s\n",
                     error.what());
    }
}

void JournalPrinter::PrintLine(const std::string& line) noexcept
{
    try {
        const std::string text = line + '\n';
        std::lock_guard<std::mutex> lock(mutex_);
        Write(text);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plexar-sim: a line could not be printed: %s\n", error.what());
    }
}

void JournalPrinter::PrintLibraryLine(sim::Clock::time_point at, const std::string& line) noexcept
{
    // What WebSocket++ logs whenever a server stops with its accept pending or a connection
    // closing: no fault.
    constexpr const char* UsualAtStop[] = {"handle_accept error", "WebSocket Connection Unknown",
                                           "Error getting remote endpoint", "async_shutdown error",
                                           "Stopping acceptance of new connections"};
    try {
        bool usual = false;
        for (const char* text : UsualAtStop) {
            usual = usual || line.find(text) != std::string::npos;
        }
        const std::string text = Stamped(at, "websocket++: " + line + (usual ? " (usual when the server stops)" : ""));
        std::lock_guard<std::mutex> lock(mutex_);
        Write(text);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plexar-sim: a library line could not be printed: %s\n", error.what());
    }
}

void JournalPrinter::Write(const std::string& text) noexcept
{
    try {
        output_ << text << std::flush;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plexar-sim: the output could not be written: %s\n", error.what());
    }
}

}  // namespace plexarsim
