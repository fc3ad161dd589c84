#include "core/CvarText.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

// The leading decimal number of the text, after blanks and an optional sign. Returns false when
// there is none or it does not fit a float.
bool ReadLeadingFloat(std::string_view text, float& value)
{
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // A decimal number starts with a digit or with "." and a digit; this also keeps out "inf",
    // "nan" and a second sign, which from_chars would otherwise read.
    const auto isDigit = [&](std::size_t i) {
        return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
    };
    if (!isDigit(at) && !(at < text.size() && text[at] == '.' && isDigit(at + 1))) {
        return false;
    }
    float magnitude = 0;
    const auto result = std::from_chars(text.data() + at, text.data() + text.size(), magnitude,
                                        std::chars_format::general);
    if (result.ec != std::errc()) {
        return false;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

// The host platform's rand(): 15 bits, 0 to 32767, which the range formula below assumes.
int Rand15()
{
    return std::rand() % 32768;
}

std::vector<std::string_view> SplitAtCommas(std::string_view text)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t comma = text.find(',');
        parts.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

namespace quorvex {

float CvarTextToNumber(const std::string& text)
{
    const bool isRangeList = text.size() >= 2 && text.front() == '(' && text.back() == ')' &&
                             text.find(',') != std::string::npos;
    if (!isRangeList) {
        float value = 0;
        return ReadLeadingFloat(text, value) ? value : 0.0f;
    }
    // "(low,high,low,high...)": the text after "(" split at every ","; the last part keeps ")".
    const std::vector<std::string_view> parts = SplitAtCommas(std::string_view(text).substr(1));
    const std::size_t pairs = parts.size() / 2;
    const std::size_t pair = static_cast<std::size_t>(Rand15()) % pairs;
    float low = 0;
    float high = 0;
    if (!ReadLeadingFloat(parts[2 * pair], low) || !ReadLeadingFloat(parts[2 * pair + 1], high)) {
        return 0.0f;
    }
    return low + static_cast<float>(Rand15()) * (high - low) / 32767;
}

bool CvarTextToBool(const std::string& text)
{
    return CvarTextToNumber(text) >= 0.5f;
}

}  // namespace quorvex
