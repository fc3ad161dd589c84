#pragma once
// The journal: everything the host showed or did (console lines, toasts, modals, texture loads,
// HTTP requests and answers), in the order it happened, each stamped with the host's clock.
//
// Threads: Add, SetSink and the queries may be called from any thread. Entries are kept under
// entriesMutex_. The sink is called on the thread that added the entry, under sinkMutex_, so the
// sink sees entries one at a time and in the kept order; it must not call into the host (some
// entries are added while a host lock is held).
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/Host.h"

namespace sim {

// The most of a request or answer body the journal keeps: a longer one is cut (a plug-in may be
// sent hundreds of megabytes it rightly does not read, and the journal would keep copies).
constexpr std::size_t JournalBodyBytes = 64 * 1024;

// The first JournalBodyBytes of the body at most, cut before a character that would not fit.
std::string_view KeptBodyPart(std::string_view body);
// A body as a journal line shows it: its kept part with control characters escaped (line breaks
// kept), and "… (N bytes)" when it was cut.
std::string JournalBodyText(std::string_view body);
// Puts the kept part in fields["body"]; when it was cut, also "truncated": true and the full
// "length" in bytes.
void AddBodyFields(nlohmann::json& fields, std::string_view body);
// A text from outside (a console line, a name) as the host's own lines show it: control
// characters as visible escapes.
std::string ShownText(std::string_view text);
// The same for a report of several lines (a failure that quotes a scenario's text or an error
// message): its line breaks kept.
std::string ShownLines(std::string_view text);

class Journal {
public:
    using Sink = std::function<void(const JournalEntry&)>;

    explicit Journal(std::function<Clock::time_point()> now);

    // fields: the entry's parts as a JSON object, or null (JournalEntry::fields).
    void Add(JournalEntry::Kind kind, std::string text, std::shared_ptr<const nlohmann::json> fields = nullptr);
    void SetSink(Sink sink);

    std::vector<JournalEntry> Entries() const;
    std::vector<std::string> ConsoleLines() const;
    // True when some console line contains the text.
    bool ConsoleContains(const std::string& text) const;

private:
    const std::function<Clock::time_point()> now_;
    std::mutex sinkMutex_;
    Sink sink_;
    mutable std::mutex entriesMutex_;
    std::vector<JournalEntry> entries_;
};

}  // namespace sim
