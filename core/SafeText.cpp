#include "core/SafeText.h"

#include <fmt/format.h>

namespace quorvex {
namespace {

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the UTF-8 character starting at text[at], or 0 when the bytes there are not one
// (overlong forms, surrogates and values beyond U+10FFFF included).
std::size_t Utf8Length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (!IsContinuation(byte(i))) {
            return 0;
        }
    }
    return length;
}

// What the character starting at text[at] shows as, and how many bytes it spans.
std::string_view Rendering(std::string_view text, std::size_t at, bool keepLineBreaks, std::size_t& span,
                           char (&scratch)[8])
{
    const auto lead = static_cast<unsigned char>(text[at]);
    span = 1;
    switch (lead) {
    case '\n':
        return keepLineBreaks ? std::string_view("\n") : std::string_view("\\n");
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        break;
    }
    if (lead < 0x20 || lead == 0x7F) {
        fmt::format_to(scratch, "\\x{:02x}", lead);
        return {scratch, 4};
    }
    const std::size_t length = Utf8Length(text, at);
    if (length == 0) {
        fmt::format_to(scratch, "\\x{:02x}", lead);
        return {scratch, 4};
    }
    span = length;
    // U+0080 to U+009F: the C1 controls, which terminals also obey.
    if (lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
        fmt::format_to(scratch, "\\u{:04x}", static_cast<unsigned char>(text[at + 1]));
        return {scratch, 6};
    }
    return text.substr(at, length);
}

std::string Escape(std::string_view text, bool keepLineBreaks, std::size_t limit)
{
    std::string safe;
    safe.reserve(text.size() < limit ? text.size() : limit);
    char scratch[8];
    for (std::size_t at = 0; at < text.size();) {
        std::size_t span = 1;
        const std::string_view shown = Rendering(text, at, keepLineBreaks, span, scratch);
        if (safe.size() + shown.size() > limit) {
            return safe + fmt::format("\u2026 ({} bytes)", text.size());
        }
        safe += shown;
        at += span;
    }
    return safe;
}

}  // namespace

std::string EscapeControls(std::string_view text, bool keepLineBreaks)
{
    return Escape(text, keepLineBreaks, std::string::npos);
}

std::string SafeText(std::string_view text, std::size_t limit)
{
    return Escape(text, false, limit);
}

std::string ConsoleText(std::string_view text)
{
    return SafeText(text, ConsoleTextLimit);
}

std::string ToastText(std::string_view text)
{
    return SafeText(text, ToastTextLimit);
}

const std::string& KeptBody(const std::string& body)
{
    static const std::string dropped;
    return body.size() > MaxKeptBodyBytes ? dropped : body;
}

}  // namespace quorvex
