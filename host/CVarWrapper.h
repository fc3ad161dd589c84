#pragma once
// Console variables (cvars): named text values owned by the host.
//
// Thread safety: every operation may be called from any thread. The host serialises changes of
// one cvar; value-changed callbacks and bound values are updated on the thread that changed it,
// after the change, with no host lock held.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "host/ObjectWrapper.h"

namespace Plexar {

// A text the host keeps equal to a cvar (see CVarWrapper::bindTo). Readers on any thread take a
// copy under its lock, so a change from another thread never tears the text being read.
class SharedText {
public:
    std::string Get() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    bool IsEmpty() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_.empty();
    }
    void Set(std::string value)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = std::move(value);
    }

private:
    mutable std::mutex mutex_;
    std::string value_;
};

// The host's reading of a cvar text as a number: a "(low,high,...)" list of bound pairs yields a
// random value within a random pair; any other text its leading decimal number, 0 when none.
float CVarTextToNumber(const std::string& text);
// On when the text reads as at least 0.5.
bool CVarTextToBool(const std::string& text);

}  // namespace Plexar

class CVarWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;

    std::string getCVarName() const;
    std::string getDescription() const;
    std::string getStringValue() const;
    bool getBoolValue() const;
    float getFloatValue() const;
    int getIntValue() const;

    void setValue(const std::string& value);
    void setValue(int value);

    // The host writes the cvar's value into the bound object now and after every change.
    void bindTo(std::shared_ptr<std::atomic<bool>> value);
    void bindTo(std::shared_ptr<Plexar::SharedText> value);

    // Called after every change, with the previous text and the cvar.
    using ValueChanged = std::function<void(std::string oldValue, CVarWrapper cvar)>;
    void addOnValueChanged(ValueChanged callback);
};
