#include "sim/Journal.h"

#include <cstdio>
#include <exception>
#include <utility>

#include <fmt/format.h>

namespace sim {
namespace {

// Control bytes as visible escapes, so that no text from outside moves the cursor, clears the
// terminal or forges a line of its own. The host's own reading, as plain as it can be: bytes of
// 0x80 and above pass as they are.
std::string EscapeControls(std::string_view text, bool keepLineBreaks = false)
{
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n' && keepLineBreaks) {
            shown += c;
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            shown += fmt::format("\\x{:02x}", byte);
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace

std::string_view KeptBodyPart(std::string_view body)
{
    if (body.size() <= JournalBodyBytes) {
        return body;
    }
    std::size_t end = JournalBodyBytes;
    // Back to the first byte of the character the limit falls in.
    while (end > 0 && (static_cast<unsigned char>(body[end]) & 0xC0) == 0x80) {
        --end;
    }
    return body.substr(0, end);
}

std::string JournalBodyText(std::string_view body)
{
    const std::string_view kept = KeptBodyPart(body);
    std::string text = EscapeControls(kept, true);
    if (kept.size() < body.size()) {
        text += fmt::format("\u2026 ({} bytes)", body.size());
    }
    return text;
}

void AddBodyFields(nlohmann::json& fields, std::string_view body)
{
    const std::string_view kept = KeptBodyPart(body);
    fields["body"] = std::string(kept);
    if (kept.size() < body.size()) {
        fields["truncated"] = true;
        fields["length"] = body.size();
    }
}

std::string ShownText(std::string_view text)
{
    return EscapeControls(text);
}

std::string ShownLines(std::string_view text)
{
    return EscapeControls(text, true);
}

Journal::Journal(std::function<Clock::time_point()> now) : now_(std::move(now)) {}

void Journal::Add(JournalEntry::Kind kind, std::string text, std::shared_ptr<const nlohmann::json> fields)
{
    std::lock_guard<std::mutex> sinkLock(sinkMutex_);
    JournalEntry entry{now_(), kind, std::move(text), std::move(fields)};
    {
        std::lock_guard<std::mutex> lock(entriesMutex_);
        entries_.push_back(entry);
    }
    if (!sink_) {
        return;
    }
    // The sink belongs to the tool, not to the plug-in; it cannot log to the console it feeds.
    try {
        sink_(entry);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plexar-sim: journal sink threw: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "plexar-sim: journal sink threw: unknown exception\n");
    }
}

void Journal::SetSink(Sink sink)
{
    std::lock_guard<std::mutex> sinkLock(sinkMutex_);
    sink_ = std::move(sink);
}

std::vector<JournalEntry> Journal::Entries() const
{
    std::lock_guard<std::mutex> lock(entriesMutex_);
    return entries_;
}

std::vector<std::string> Journal::ConsoleLines() const
{
    std::lock_guard<std::mutex> lock(entriesMutex_);
    std::vector<std::string> lines;
    for (const auto& entry : entries_) {
        if (entry.kind == JournalEntry::Kind::Console) {
            lines.push_back(entry.text);
        }
    }
    return lines;
}

bool Journal::ConsoleContains(const std::string& text) const
{
    std::lock_guard<std::mutex> lock(entriesMutex_);
    for (const auto& entry : entries_) {
        if (entry.kind == JournalEntry::Kind::Console &&
            entry.text.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace sim
