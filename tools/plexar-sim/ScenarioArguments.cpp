#include "tools/plexar-sim/ScenarioArguments.h"

#include <charconv>
#include <stdexcept>

#include <fmt/format.h>

namespace plexarsim {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits with at most one '.', and at least one digit.
bool IsPlainDecimal(std::string_view text)
{
    bool sawDigit = false;
    bool sawPoint = false;
    for (const char c : text) {
        if (IsDigit(c)) {
            sawDigit = true;
        } else if (c == '.' && !sawPoint) {
            sawPoint = true;
        } else {
            return false;
        }
    }
    return sawDigit;
}

}  // namespace

std::string_view Trim(std::string_view text)
{
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return {};
    }
    const std::size_t end = text.find_last_not_of(" \t");
    return text.substr(start, end - start + 1);
}

std::chrono::duration<double> ParseSeconds(std::string_view text)
{
    double seconds = 0;
    const bool parsed = IsPlainDecimal(text) &&
                        std::from_chars(text.data(), text.data() + text.size(), seconds).ec ==
                            std::errc();
    if (!parsed || seconds > MaxWaitSeconds) {
        throw std::invalid_argument(fmt::format(
            "expected a number of seconds from 0 to {}, got '{}'", MaxWaitSeconds, text));
    }
    return std::chrono::duration<double>(seconds);
}

std::string ParseText(std::string_view text)
{
    if (text.empty()) {
        throw std::invalid_argument("expected a text");
    }
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
        return std::string(text.substr(1, text.size() - 2));
    }
    if (text.front() != '"') {
        return std::string(text);
    }
    std::string unquoted;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            unquoted += text[++i];
        } else if (c == '"') {
            if (i + 1 != text.size()) {
                throw std::invalid_argument(fmt::format(
                    "unexpected '{}' after the closing quote", text.substr(i + 1)));
            }
            if (unquoted.empty()) {
                throw std::invalid_argument("expected a text, got \"\"");
            }
            return unquoted;
        } else {
            unquoted += c;
        }
    }
    throw std::invalid_argument("the quoted text has no closing quote");
}

void ExpectNoArguments(std::string_view text)
{
    if (!text.empty()) {
        throw std::invalid_argument(fmt::format("takes no arguments, got '{}'", text));
    }
}

}  // namespace plexarsim
