#pragma once
// The journal: everything the host showed or did (console lines, toasts, modals, texture loads,
// HTTP requests and answers), in the order it happened, each stamped with the host's clock.
//
// Threads: Add, SetSink and the queries may be called from any thread. Entries are kept under
// entriesMutex_. The sink is called on the thread that added the entry, under sinkMutex_, so the
// sink sees entries one at a time and in the kept order; it must not call into the host (some
// entries are added while a host lock is held).
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim/Host.h"

namespace sim {

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
