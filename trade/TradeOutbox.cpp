#include "trade/TradeOutbox.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "core/PathText.h"
#include "core/SafeText.h"
#include "core/UnusableFile.h"

namespace quorvex {
namespace {

constexpr const char* FileStart = "{\"trades\":[\n";
constexpr const char* FileEnd = "\n]}\n";
// Room for the file's frame and a line break and comma per record.
constexpr std::size_t MaxFileBytes = TradeOutbox::MaxBytes + 2 * TradeOutbox::MaxRecords + 64;

// The whole file, when it is a regular file of a size the outbox can hold.
std::string ReadBoundedFile(const std::filesystem::path& file)
{
    if (const std::string problem = RegularFileProblem(file, MaxFileBytes); !problem.empty()) {
        throw std::runtime_error(problem);
    }
    std::ifstream stream(file, std::ios::binary);
    // A file that grew since it was looked at is read only up to the bound (and then fails to parse).
    const auto size = std::min<std::uintmax_t>(std::filesystem::file_size(file), MaxFileBytes);
    std::string content(static_cast<std::size_t>(size), '\0');
    if (!stream.read(content.data(), static_cast<std::streamsize>(content.size()))) {
        throw std::runtime_error("it cannot be read");
    }
    return content;
}

}  // namespace

TradeOutbox::TradeOutbox(const std::filesystem::path& dataFolder)
    : file_(dataFolder / "qvx-inventorysync" / "tradeOutbox.json")
{
}

std::uint64_t TradeOutbox::Add(std::string body, std::string tradeGuid)
{
    if (body.size() > MaxBytes) {
        Log("Trade {} dropped: its record of {} bytes is larger than the trade outbox", ShortGuid(tradeGuid),
            body.size());
        return 0;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint64_t id = nextId_++;
    bytes_ += body.size();
    records_.push_back({id, std::move(body), std::move(tradeGuid)});
    sending_.insert(id);
    Trim();
    return id;
}

void TradeOutbox::Trim()
{
    while (records_.size() > MaxRecords || bytes_ > MaxBytes) {
        Log("Trade {} dropped: the trade outbox is full", ShortGuid(records_.front().tradeGuid));
        bytes_ -= records_.front().body.size();
        sending_.erase(records_.front().id);
        records_.pop_front();
    }
}

bool TradeOutbox::Remove(std::uint64_t id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sending_.erase(id);
    const auto found =
        std::find_if(records_.begin(), records_.end(), [id](const Record& record) { return record.id == id; });
    if (found == records_.end()) {
        return false;
    }
    bytes_ -= found->body.size();
    records_.erase(found);
    return true;
}

std::optional<TradeOutbox::Record> TradeOutbox::TakeOldest()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Record& record : records_) {
        if (sending_.insert(record.id).second) {
            return record;
        }
    }
    return std::nullopt;
}

void TradeOutbox::Settle(std::uint64_t id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sending_.erase(id);
}

std::size_t TradeOutbox::Size() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return records_.size();
}

std::size_t TradeOutbox::Load()
{
    std::error_code missing;
    if (!std::filesystem::exists(file_, missing)) {
        return 0;
    }
    std::vector<Record> loaded;
    try {
        const auto document = nlohmann::json::parse(ReadBoundedFile(file_));
        const auto trades = document.is_object() ? document.find("trades") : document.end();
        if (trades == document.end() || !trades->is_array()) {
            throw std::runtime_error("no \"trades\" array");
        }
        for (const auto& trade : *trades) {
            if (!trade.is_object()) {
                LogText("Trade outbox record skipped: not a JSON object");
                continue;
            }
            const auto guid = trade.find("trade_guid");
            loaded.push_back({0, trade.dump(), guid != trade.end() && guid->is_string() ? guid->get<std::string>() : ""});
        }
    } catch (const std::exception& error) {
        Log("Trade outbox {} cannot be read ({}); {}", PathText(file_), error.what(), MoveAside(file_));
        return 0;
    }

    std::lock_guard<std::mutex> lock(mutex_);
    for (auto record = loaded.rbegin(); record != loaded.rend(); ++record) {
        record->id = nextId_++;
        bytes_ += record->body.size();
        records_.push_front(std::move(*record));
    }
    Trim();
    return loaded.size();
}

FileWriteResult TradeOutbox::Save() const
{
    std::string content = FileStart;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Record& record : records_) {
            if (&record != &records_.front()) {
                content += ",\n";
            }
            content += record.body;
        }
    }
    content += FileEnd;
    return WriteFileAtomically(file_, content);
}

std::string TradeOutbox::ShortGuid(const std::string& tradeGuid)
{
    // The guid comes from the game or the outbox's file: its controls are shown as escapes.
    constexpr std::size_t Shown = 8;
    return EscapeControls(tradeGuid.size() <= Shown ? tradeGuid : tradeGuid.substr(0, Shown)) +
           (tradeGuid.size() <= Shown ? "" : "\xE2\x80\xA6");
}

}  // namespace quorvex
