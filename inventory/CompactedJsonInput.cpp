#include "inventory/CompactedJsonInput.h"

namespace quorvex {
namespace {

constexpr std::size_t ChunkBytes = 1 << 16;

bool IsSpace(char byte)
{
    return byte == ' ' || byte == '\n' || byte == '\r' || byte == '\t';
}

// No token goes on across these, so no space is needed beside them.
bool IsStructural(char byte)
{
    switch (byte) {
    case '{':
    case '}':
    case '[':
    case ']':
    case ',':
    case ':':
    case '"':
        return true;
    default:
        return false;
    }
}

}  // namespace

CompactedJsonInput::CompactedJsonInput(std::streambuf& input) : input_(input), chunk_(ChunkBytes + 1)
{
}

bool CompactedJsonInput::Refill()
{
    char* const start = chunk_.data();
    char* out = start;
    // A chunk of nothing but white space gives no text: read on.
    while (out == start) {
        const std::streamsize read = input_.sgetn(start + 1, static_cast<std::streamsize>(ChunkBytes));
        if (read <= 0) {
            return false;  // white space at the very end separates nothing
        }
        // Shortened in place: the text written never overtakes the text read, as a pending space
        // is written only where at least one byte of white space was left out, or into the byte
        // kept free in front.
        const char* in = start + 1;
        const char* const stop = in + read;
        while (in < stop) {
            const char byte = *in++;
            if (inString_) {
                *out++ = byte;
                if (escaped_) {
                    escaped_ = false;
                } else if (byte == '\\') {
                    escaped_ = true;
                } else if (byte == '"') {
                    inString_ = false;
                }
                continue;
            }
            if (IsSpace(byte)) {
                spacePending_ = true;
                continue;
            }
            if (spacePending_) {
                spacePending_ = false;
                if (!IsStructural(last_) && !IsStructural(byte)) {
                    *out++ = ' ';
                }
            }
            *out++ = byte;
            last_ = byte;
            inString_ = byte == '"';
        }
    }
    at_ = start;
    end_ = out;
    return true;
}

}  // namespace quorvex
