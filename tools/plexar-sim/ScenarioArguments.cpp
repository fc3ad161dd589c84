#include "tools/plexar-sim/ScenarioArguments.h"

#include <algorithm>
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

std::chrono::duration<double> ParseDuration(std::string_view text)
{
    struct Unit {
        std::string_view suffix;
        double seconds;
    };
    // "ms" before "m" and "s": the longest suffix that fits names the unit.
    constexpr Unit Units[] = {{"ms", 0.001}, {"s", 1}, {"m", 60}, {"h", 3600}};
    std::string_view number = text;
    double scale = 1;
    for (const Unit& unit : Units) {
        if (number.size() > unit.suffix.size() &&
            number.substr(number.size() - unit.suffix.size()) == unit.suffix) {
            number.remove_suffix(unit.suffix.size());
            scale = unit.seconds;
            break;
        }
    }
    double value = 0;
    const bool parsed = IsPlainDecimal(number) &&
                        std::from_chars(number.data(), number.data() + number.size(), value).ec ==
                            std::errc();
    if (!parsed || value * scale > MaxWaitSeconds) {
        throw std::invalid_argument(fmt::format(
            "expected a duration from 0 to {} s: a number of seconds, or with a unit: 500ms, 5s, "
            "2m, 1h; got '{}'",
            MaxWaitSeconds, text));
    }
    return std::chrono::duration<double>(value * scale);
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

std::string TakeWord(std::string_view& text)
{
    text = Trim(text);
    if (text.empty()) {
        throw std::invalid_argument("expected a word");
    }
    std::size_t end = 0;
    if (text.front() == '\'') {
        end = text.find('\'', 1);
        if (end == std::string_view::npos) {
            throw std::invalid_argument("the quoted text has no closing quote");
        }
        ++end;
    } else if (text.front() == '"') {
        end = 1;
        while (end < text.size() && text[end] != '"') {
            end += text[end] == '\\' ? 2 : 1;
        }
        if (end >= text.size()) {
            throw std::invalid_argument("the quoted text has no closing quote");
        }
        ++end;
    } else {
        end = std::min(text.find_first_of(" \t"), text.size());
    }
    std::string word = ParseText(text.substr(0, end));
    text = Trim(text.substr(end));
    return word;
}

std::string UrlPath(std::string_view url)
{
    const auto scheme = url.find("://");
    const auto start = url.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
    if (start == std::string_view::npos) {
        return "/";
    }
    return std::string(url.substr(start, url.find_first_of("?#", start) - start));
}

std::size_t TypoDistance(std::string_view a, std::string_view b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (std::size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

std::string NearestText(std::string_view word, const std::vector<std::string>& candidates)
{
    std::string nearest;
    std::size_t best = 0;
    for (const std::string& candidate : candidates) {
        const std::size_t distance = TypoDistance(word, candidate);
        if (nearest.empty() || distance < best) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
}

void ExpectNoArguments(std::string_view text)
{
    if (!text.empty()) {
        throw std::invalid_argument(fmt::format("takes no arguments, got '{}'", text));
    }
}

}  // namespace plexarsim
