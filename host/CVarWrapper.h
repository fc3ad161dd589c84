#pragma once
// Console variables (cvars): named text values owned by the host.
//
// Thread safety: every operation may be called from any thread. The host serialises changes of
// one cvar; bound values and value-changed callbacks are updated on the thread that changed it,
// after the change, with no host lock held. A bound value is written without any lock its
// reader could share, so it may only be read where no other thread can change the cvar.
#include <functional>
#include <memory>
#include <string>

#include "host/ObjectWrapper.h"

class CVarWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;

    std::string getCVarName() const;
    std::string getDescription() const;
    std::string getStringValue() const;
    bool getBoolValue() const;

    void setValue(const std::string& value);
    void setValue(int value);

    // The host writes the cvar's value into the bound object now and after every change.
    void bindTo(std::shared_ptr<bool> value);
    void bindTo(std::shared_ptr<std::string> value);

    // Called after every change, with the previous text and the cvar.
    using ValueChanged = std::function<void(std::string oldValue, CVarWrapper cvar)>;
    void addOnValueChanged(ValueChanged callback);
};
