#include "api/RetryAfter.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "api/RetryBackoff.h"
#include "core/SafeText.h"

namespace quorvex {
namespace {

constexpr std::array<std::string_view, 12> MonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::chrono::seconds ShortestWait{1};
// More digits than this are more seconds than the longest wait anyway.
constexpr std::size_t LongestSecondsText = 9;

bool Take(std::string_view& text, std::string_view literal)
{
    if (text.substr(0, literal.size()) != literal) {
        return false;
    }
    text.remove_prefix(literal.size());
    return true;
}

bool TakeDigits(std::string_view& text, std::size_t count, int& value)
{
    if (text.size() < count) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    text.remove_prefix(count);
    return true;
}

// A day or month name: letters up to the next non-letter.
std::string_view TakeWord(std::string_view& text)
{
    std::size_t length = 0;
    while (length < text.size() && ((text[length] >= 'A' && text[length] <= 'Z') || (text[length] >= 'a' && text[length] <= 'z'))) {
        ++length;
    }
    const std::string_view word = text.substr(0, length);
    text.remove_prefix(length);
    return word;
}

bool TakeMonth(std::string_view& text, int& month)
{
    const auto found = std::find(MonthNames.begin(), MonthNames.end(), TakeWord(text));
    month = static_cast<int>(found - MonthNames.begin()) + 1;
    return found != MonthNames.end();
}

struct Moment {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

bool TakeTimeOfDay(std::string_view& text, Moment& moment)
{
    return TakeDigits(text, 2, moment.hour) && Take(text, ":") && TakeDigits(text, 2, moment.minute) &&
           Take(text, ":") && TakeDigits(text, 2, moment.second);
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::optional<SystemTime> ToTime(const Moment& moment)
{
    if (moment.day < 1 || moment.day > 31 || moment.hour > 23 || moment.minute > 59 || moment.second > 60) {
        return std::nullopt;
    }
    const std::int64_t days = DaysFromCivil(moment.year, moment.month, moment.day);
    return SystemTime(std::chrono::duration_cast<SystemTime::duration>(
        std::chrono::seconds(days * 86400 + moment.hour * 3600 + moment.minute * 60 + moment.second)));
}

std::optional<std::chrono::seconds> Capped(std::chrono::seconds wait)
{
    return std::clamp<std::chrono::seconds>(wait, ShortestWait, RetryBackoff::Longest);
}

}  // namespace

std::optional<SystemTime> ParseHttpDate(std::string_view text)
{
    Moment moment;
    const std::string_view dayName = TakeWord(text);
    if (dayName.size() < 3) {
        return std::nullopt;
    }
    if (Take(text, ", ")) {
        std::string_view rest = text;
        // "Sun, 06 Nov 1994 08:49:37 GMT"
        if (TakeDigits(rest, 2, moment.day) && Take(rest, " ") && TakeMonth(rest, moment.month) && Take(rest, " ") &&
            TakeDigits(rest, 4, moment.year) && Take(rest, " ") && TakeTimeOfDay(rest, moment) && rest == " GMT") {
            return ToTime(moment);
        }
        // "Sunday, 06-Nov-94 08:49:37 GMT": a two-digit year is taken within 1970 to 2069.
        if (TakeDigits(text, 2, moment.day) && Take(text, "-") && TakeMonth(text, moment.month) && Take(text, "-") &&
            TakeDigits(text, 2, moment.year) && Take(text, " ") && TakeTimeOfDay(text, moment) && text == " GMT") {
            moment.year += moment.year < 70 ? 2000 : 1900;
            return ToTime(moment);
        }
        return std::nullopt;
    }
    // "Sun Nov  6 08:49:37 1994"
    if (Take(text, " ") && TakeMonth(text, moment.month) && Take(text, " ") &&
        (Take(text, " ") ? TakeDigits(text, 1, moment.day) : TakeDigits(text, 2, moment.day)) && Take(text, " ") &&
        TakeTimeOfDay(text, moment) && Take(text, " ") && TakeDigits(text, 4, moment.year) && text.empty()) {
        return ToTime(moment);
    }
    return std::nullopt;
}

std::optional<std::chrono::seconds> ReadRetryAfter(int status, const std::string& body, SystemTime now)
{
    if (status != 429 && status != 503) {
        return std::nullopt;
    }
    const nlohmann::json parsed = nlohmann::json::parse(KeptBody(body), nullptr, false);
    if (!parsed.is_object()) {
        return std::nullopt;
    }
    const auto value = parsed.find("retryAfter");
    if (value == parsed.end()) {
        return std::nullopt;
    }
    if (value->is_number_unsigned()) {
        return Capped(std::chrono::seconds(std::min<std::uint64_t>(value->get<std::uint64_t>(),
                                                                   RetryBackoff::Longest.count())));
    }
    if (!value->is_string()) {
        return std::nullopt;
    }
    const std::string& text = value->get_ref<const std::string&>();
    if (!text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return Capped(text.size() > LongestSecondsText ? RetryBackoff::Longest : std::chrono::seconds(std::stol(text)));
    }
    if (const auto date = ParseHttpDate(text)) {
        return Capped(std::chrono::ceil<std::chrono::seconds>(*date - now));
    }
    return std::nullopt;
}

}  // namespace quorvex
