#include "sim/Cvar.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include <fmt/format.h>

#include "sim/Guard.h"

namespace sim {

namespace {

// The text's leading decimal number, 0 when there is none. Only the characters a decimal number
// may hold are read, so strtod reads no "inf", "nan" or hex.
double LeadingNumber(const std::string& text)
{
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
        ++at;
    }
    const std::size_t start = at;
    while (at < text.size() && (std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == '.' ||
                                text[at] == '-' || text[at] == '+' || text[at] == 'e' || text[at] == 'E')) {
        ++at;
    }
    return std::strtod(text.substr(start, at - start).c_str(), nullptr);
}

}  // namespace

bool CvarTextIsOn(const std::string& text)
{
    return LeadingNumber(text) >= 0.5;
}

Cvar::Cvar(CvarDefinition definition, std::mutex& consoleMutex, ErrorReport report)
    : definition_(std::move(definition)), report_(std::move(report)), mutex_(consoleMutex),
      value_(definition_.defaultValue)
{
}

std::string Cvar::Value() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return value_;
}

namespace {

// A text the host reads as a number: a decimal number (blanks around it allowed), or a list of
// bounds "(low,high,...)".
bool ReadsAsNumber(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
        return true;
    }
    const char* start = text.c_str();
    char* end = nullptr;
    const double number = std::strtod(start, &end);
    while (end != nullptr && (*end == ' ' || *end == '\t')) {
        ++end;
    }
    return end != start && *end == '\0' && std::isfinite(number);
}

}  // namespace

void Cvar::Set(std::string value)
{
    // A cvar whose default is a number holds a number: another text is read by its leading
    // number, or as 0, which the game's console does without a word. The host says so.
    if (ReadsAsNumber(definition_.defaultValue) && !ReadsAsNumber(value)) {
        report_(fmt::format("plexar-sim: warning: {} holds a number; \"{}\" is none, and reads as {}", definition_.name,
                            value, LeadingNumber(value)));
    }
    std::string oldValue;
    std::vector<CVarWrapper::ValueChanged> callbacks;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        oldValue = std::exchange(value_, std::move(value));
        callbacks = callbacks_;
    }
    WriteBoundValues();
    const CVarWrapper self(reinterpret_cast<std::uintptr_t>(this));
    for (const auto& callback : callbacks) {
        CallGuardedOnGameThread(report_, "cvar callback of " + definition_.name,
                    [&] { callback(oldValue, self); });
    }
}

void Cvar::Bind(std::shared_ptr<bool> flag)
{
    if (!flag) {
        report_("plexar-sim: bindTo with a null flag ignored for cvar " + definition_.name);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        boundFlags_.push_back(std::move(flag));
    }
    WriteBoundValues();
}

void Cvar::Bind(std::shared_ptr<std::string> text)
{
    if (!text) {
        report_("plexar-sim: bindTo with a null text ignored for cvar " + definition_.name);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        boundTexts_.push_back(std::move(text));
    }
    WriteBoundValues();
}

void Cvar::AddOnValueChanged(CVarWrapper::ValueChanged callback)
{
    if (!callback) {
        report_("plexar-sim: empty value-changed callback ignored for cvar " + definition_.name);
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    callbacks_.push_back(std::move(callback));
}

void Cvar::WriteBoundValues()
{
    std::lock_guard<std::mutex> bindingLock(bindingMutex_);
    std::string value;
    std::vector<std::shared_ptr<bool>> flags;
    std::vector<std::shared_ptr<std::string>> texts;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        value = value_;
        flags = boundFlags_;
        texts = boundTexts_;
    }
    const bool on = CvarTextIsOn(value);
    for (const auto& flag : flags) {
        *flag = on;
    }
    for (const auto& text : texts) {
        *text = value;
    }
}

}  // namespace sim
