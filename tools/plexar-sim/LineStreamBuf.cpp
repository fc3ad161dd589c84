#include "tools/plexar-sim/LineStreamBuf.h"

#include <ostream>

namespace plexarsim {

LineStreamBuf::LineStreamBuf(Sink sink) : sink_(std::move(sink)) {}

LineStreamBuf::~LineStreamBuf()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [thread, text] : pending_) {
        try {
            sink_(text);
        } catch (...) {
            // As in Append.
        }
    }
}

LineStreamBuf::int_type LineStreamBuf::overflow(int_type character)
{
    if (traits_type::eq_int_type(character, traits_type::eof())) {
        return traits_type::not_eof(character);
    }
    const char c = traits_type::to_char_type(character);
    Append(&c, 1);
    return character;
}

std::streamsize LineStreamBuf::xsputn(const char* text, std::streamsize count)
{
    Append(text, static_cast<std::size_t>(count));
    return count;
}

void LineStreamBuf::Append(const char* text, std::size_t count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string& pending = pending_[std::this_thread::get_id()];
    for (std::size_t i = 0; i < count; ++i) {
        if (text[i] != '\n') {
            pending += text[i];
            continue;
        }
        try {
            sink_(pending);
        } catch (...) {
            // The sink reports its own failures; a line it could not take is dropped.
        }
        pending.clear();
    }
    if (pending.empty()) {
        pending_.erase(std::this_thread::get_id());
    }
}

StreamRedirect::StreamRedirect(std::ostream& stream, std::streambuf& buffer)
    : stream_(stream), previous_(stream.rdbuf(&buffer))
{
}

StreamRedirect::~StreamRedirect()
{
    stream_.rdbuf(previous_);
}

}  // namespace plexarsim
