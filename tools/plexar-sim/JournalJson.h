#pragma once
// The journal as JSON lines (plexar-sim --journal-json FILE): one object per entry, in the order
// the entries happened, each written and flushed as it happens:
//   {"at": 5.004, "kind": "request", "id": 0, "verb": "POST", "url": "https://...", ...}
// "at" is the seconds since the session started (on the session's clock, virtual or real) and
// "kind" one of console, toast, modal, texture, request, answer, ws; the other members are the
// entry's own, listed per kind in tools/plexar-sim/README.md. Texts that are not valid UTF-8 are
// written with U+FFFD in place of their bad bytes.
//
// Threads: Write is called on whichever thread caused the entry; a mutex keeps lines whole.
#include <mutex>
#include <ostream>

#include <nlohmann/json.hpp>

#include "sim/Host.h"

namespace plexarsim {

// The entry's object, "at" counted from `start`.
nlohmann::json JournalEntryToJson(const sim::JournalEntry& entry, sim::Clock::time_point start);

class JournalJsonWriter {
public:
    // The stream must outlive the writer.
    JournalJsonWriter(sim::Clock::time_point start, std::ostream& output);

    // Never throws: it is part of the host's journal sink. A failure is reported on stderr once
    // and remembered.
    void Write(const sim::JournalEntry& entry) noexcept;
    // Whether a line could not be written.
    bool Failed() const;

private:
    const sim::Clock::time_point start_;
    mutable std::mutex mutex_;
    std::ostream& output_;
    bool failed_ = false;
};

}  // namespace plexarsim
