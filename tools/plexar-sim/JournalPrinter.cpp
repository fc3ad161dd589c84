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

void JournalPrinter::Print(const sim::JournalEntry& entry) noexcept
{
    try {
        const double seconds = std::chrono::duration<double>(entry.at - start_).count();
        const std::string line =
            fmt::format("[{:8.3f}] {}\n", seconds, IndentContinuationLines(entry.text));
        std::lock_guard<std::mutex> lock(mutex_);
        output_ << line << std::flush;
        if (consoleLog_ != nullptr && entry.kind == sim::JournalEntry::Kind::Console) {
            *consoleLog_ << entry.text << '\n' << std::flush;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plexar-sim: a journal entry could not be printed: %s\n",
                     error.what());
    }
}

}  // namespace plexarsim
