#include "tools/plexar-sim/JournalJson.h"

#include <cmath>
#include <cstdio>

namespace plexarsim {
namespace {

const char* KindName(sim::JournalEntry::Kind kind)
{
    using Kind = sim::JournalEntry::Kind;
    switch (kind) {
    case Kind::Console:
        return "console";
    case Kind::Toast:
        return "toast";
    case Kind::Modal:
        return "modal";
    case Kind::Texture:
        return "texture";
    case Kind::HttpRequest:
        return "request";
    case Kind::HttpResponse:
        return "answer";
    case Kind::Mark:
        return "mark";
    case Kind::Result:
        return "result";
    case Kind::WebSocket:
        break;
    }
    return "ws";
}

}  // namespace

nlohmann::json JournalEntryToJson(const sim::JournalEntry& entry, sim::Clock::time_point start)
{
    const double seconds = std::chrono::duration<double>(entry.at - start).count();
    // Microseconds are the clock's last meaningful digits; fewer keeps the lines short.
    nlohmann::json object{{"at", std::round(seconds * 1e6) / 1e6}, {"kind", KindName(entry.kind)}};
    if (entry.fields) {
        object.update(*entry.fields);
    } else {
        object["text"] = entry.text;
    }
    return object;
}

JournalJsonWriter::JournalJsonWriter(sim::Clock::time_point start, std::ostream& output)
    : start_(start), output_(output)
{
}

void JournalJsonWriter::Write(const sim::JournalEntry& entry) noexcept
{
    try {
        const std::string line =
            JournalEntryToJson(entry, start_).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failed_ && !(output_ << line << '\n' << std::flush)) {
            failed_ = true;
            std::fprintf(stderr, "plexar-sim: writing the JSON journal failed\n");
        }
    } catch (const std::exception& error) {
        std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
        std::fprintf(stderr, "plexar-sim: a journal entry could not be written as JSON: %s\n", error.what());
    }
}

bool JournalJsonWriter::Failed() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

}  // namespace plexarsim
