#pragma once
// One console variable: a named text value, the values bound to it and its change callbacks.
// A CVarWrapper holds the address of a Cvar; the Console owns it for the host's lifetime.
//
// Threads: every operation may be called from any thread. value_, the bindings and the callbacks
// are guarded by the console's mutex, which is held only to read or replace them. A change runs
// on the thread that made it: the text is replaced under the mutex; then the bound values are
// written (under bindingMutex_ only, which serialises those writes, each taking the text current
// at that moment, so concurrent changes leave every bound value equal to the final text); then
// the callbacks run in registration order with no lock held. A bound value is a plain bool or
// string, as the SDK declares it: whoever reads it on another thread than the changing one races
// with that write (the SDK says so).
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/CVarWrapper.h"

namespace sim {

// The host's reading of a cvar's text as a switch (getBoolValue, a bound flag): on when the
// decimal number the text begins with, after blanks, is at least 0.5; off when it begins with no
// number. The host's own rule, kept apart from the plug-in's reading of texts, which may differ.
bool CvarTextIsOn(const std::string& text);

// What registerCvar was given. The substitute host keeps the range and flags for tools to show;
// it does not clamp values.
struct CvarDefinition {
    std::string name;
    std::string defaultValue;
    std::string description;
    bool searchable = true;
    bool hasMin = false;
    float min = 0;
    bool hasMax = false;
    float max = 0;
    bool saveToCfg = true;
};

class Cvar {
public:
    using ErrorReport = std::function<void(const std::string& line)>;

    Cvar(CvarDefinition definition, std::mutex& consoleMutex, ErrorReport report);
    Cvar(const Cvar&) = delete;
    Cvar& operator=(const Cvar&) = delete;

    const CvarDefinition& Definition() const { return definition_; }
    std::string Value() const;

    // A change, also when the text equals the current one.
    void Set(std::string value);
    void Bind(std::shared_ptr<bool> flag);
    void Bind(std::shared_ptr<std::string> text);
    void AddOnValueChanged(CVarWrapper::ValueChanged callback);

private:
    void WriteBoundValues();

    const CvarDefinition definition_;
    const ErrorReport report_;
    std::mutex& mutex_;
    std::mutex bindingMutex_;
    std::string value_;
    std::vector<std::shared_ptr<bool>> boundFlags_;
    std::vector<std::shared_ptr<std::string>> boundTexts_;
    std::vector<CVarWrapper::ValueChanged> callbacks_;
};

}  // namespace sim
