#pragma once
// Trade records not yet delivered to the service's trade log. A record is kept before its first
// send and goes only once the service took it (200) or refused it for good, so that no failed
// request, unload or crash loses the evidence a dispute needs. The service stores a trade once
// per "trade_guid", so a record sent twice is harmless.
//
// File <data folder>/qvx-inventorysync/tradeOutbox.json, oldest record first, each the compact
// trade-log body on a line of its own:
//
//   {"trades":[
//   {"local_data":{...},"remote_data":{...},"trade_end":...,"trade_guid":"...","trade_start":...}
//   ]}
//
// Bounded: at most MaxRecords records of at most MaxBytes in all; beyond, the oldest goes, with a
// console line.
//
// Threads: Add, Remove, TakeOldest, Settle and Load may be called from any thread; one mutex
// guards the records. Load and Save touch the file and run on one executor, one after another,
// so the file always ends as the latest Save wrote it.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "core/AtomicFile.h"

namespace quorvex {

class TradeOutbox {
public:
    static constexpr std::size_t MaxRecords = 1000;
    static constexpr std::size_t MaxBytes = 16u << 20;

    struct Record {
        std::uint64_t id;
        std::string body;       // the trade-log request body
        std::string tradeGuid;  // for console lines
    };

    explicit TradeOutbox(const std::filesystem::path& dataFolder);

    const std::filesystem::path& File() const { return file_; }

    // Keeps a record, newest last, marked as on its way (it is sent at once); returns its id, 0
    // when it alone is over MaxBytes (then it is not kept, and that is logged).
    std::uint64_t Add(std::string body, std::string tradeGuid);
    // Takes the record out for good; false when it is no longer kept.
    bool Remove(std::uint64_t id);
    // The oldest record not on its way to the service, marked as on its way.
    std::optional<Record> TakeOldest();
    // The record's send ended without taking it out: it may be taken again.
    void Settle(std::uint64_t id);
    std::size_t Size() const;

    // Reads the file and puts its records before those added since (they are older). A file that
    // cannot be read is logged and moved aside, never overwritten. Returns the count read.
    std::size_t Load();
    // Replaces the file with the records kept now.
    FileWriteResult Save() const;

    // "0123abcd…": the first 8 bytes of a trade guid, for a console line.
    static std::string ShortGuid(const std::string& tradeGuid);

private:
    // Drops the oldest records beyond the bounds. Called with mutex_ held.
    void Trim();

    const std::filesystem::path file_;
    mutable std::mutex mutex_;  // guards the members below
    std::deque<Record> records_;
    std::set<std::uint64_t> sending_;
    std::size_t bytes_ = 0;
    std::uint64_t nextId_ = 1;
};

}  // namespace quorvex
