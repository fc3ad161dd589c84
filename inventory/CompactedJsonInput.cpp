#include "inventory/CompactedJsonInput.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace quorvex {
namespace {

constexpr std::size_t ChunkBytes = 1 << 16;

// Eight bytes at a time where nothing in them needs a look of its own: the texts of strings and
// the indentation are most of a snapshot.
constexpr std::ptrdiff_t WordBytes = 8;
constexpr std::uint64_t EachByte = 0x0101010101010101ull;
constexpr std::uint64_t EachHighBit = 0x8080808080808080ull;

std::uint64_t LoadWord(const char* at)
{
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// Whether one of the word's bytes is `byte`, whatever the byte order.
bool HoldsByte(std::uint64_t word, unsigned char byte)
{
    const std::uint64_t differences = word ^ (EachByte * byte);
    return ((differences - EachByte) & ~differences & EachHighBit) != 0;
}

bool IsSpace(char byte)
{
    return byte == ' ' || byte == '\n' || byte == '\r' || byte == '\t';
}

// Bytes outside strings that need more than being passed on: white space and a string's start.
constexpr std::array<bool, 256> OutsideSpecial = [] {
    std::array<bool, 256> special{};
    for (const unsigned char byte : {' ', '\n', '\r', '\t', '"'}) {
        special[byte] = true;
    }
    return special;
}();

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

bool CompactedJsonInput::Refill(const char*& at, const char*& end)
{
    // Worked on in locals: the bytes written could alias the members, which would then be
    // stored and loaded again for every byte.
    bool inString = inString_;
    bool escaped = escaped_;
    bool spacePending = spacePending_;
    char last = last_;
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
            if (inString) {
                while (!escaped && stop - in >= WordBytes) {
                    const std::uint64_t word = LoadWord(in);
                    if (HoldsByte(word, '"') || HoldsByte(word, '\\')) {
                        break;
                    }
                    // Only bytes already read are overwritten.
                    std::memcpy(out, &word, sizeof word);
                    in += WordBytes;
                    out += WordBytes;
                }
                for (const char* const wordEnd = in + WordBytes; in < stop && in < wordEnd;) {
                    const char byte = *in++;
                    *out++ = byte;
                    if (escaped) {
                        escaped = false;
                    } else if (byte == '\\') {
                        escaped = true;
                    } else if (byte == '"') {
                        inString = false;
                        break;
                    }
                }
                continue;
            }
            const char byte = *in++;
            if (!spacePending && !OutsideSpecial[static_cast<unsigned char>(byte)]) {
                *out++ = byte;
                last = byte;
                continue;
            }
            if (IsSpace(byte)) {
                spacePending = true;
                while (stop - in >= WordBytes && LoadWord(in) == EachByte * ' ') {
                    in += WordBytes;
                }
                while (in < stop && IsSpace(*in)) {
                    ++in;
                }
                continue;
            }
            if (spacePending) {
                spacePending = false;
                if (!IsStructural(last) && !IsStructural(byte)) {
                    *out++ = ' ';
                }
            }
            *out++ = byte;
            last = byte;
            inString = byte == '"';
        }
    }
    inString_ = inString;
    escaped_ = escaped;
    spacePending_ = spacePending;
    last_ = last;
    at = start;
    end = out;
    return true;
}

}  // namespace quorvex
