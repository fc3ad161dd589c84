#include "sim/Cvar.h"

#include <cstdint>
#include <utility>

#include "core/CvarText.h"
#include "sim/Guard.h"

namespace sim {

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

void Cvar::Set(std::string value)
{
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
    const bool on = quorvex::CvarTextToBool(value);
    for (const auto& flag : flags) {
        *flag = on;
    }
    for (const auto& text : texts) {
        *text = value;
    }
}

}  // namespace sim
