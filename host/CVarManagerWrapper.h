#pragma once
// The host console: cvars, console commands (notifiers), config files and the console log.
//
// Thread safety: every operation may be called from any thread.
#include <functional>
#include <string>
#include <vector>

#include "host/CVarWrapper.h"
#include "host/ObjectWrapper.h"

class CVarManagerWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;

    // Registers a cvar, or returns the one already registered under the name. A null wrapper
    // when the host refuses the name.
    CVarWrapper registerCvar(const std::string& name, const std::string& defaultValue,
                             const std::string& description = "", bool searchable = true,
                             bool hasMin = false, float min = 0, bool hasMax = false,
                             float max = 0, bool saveToCfg = true);
    // A null wrapper when no cvar has this name.
    CVarWrapper getCvar(const std::string& name);

    using NotifierCallback = std::function<void(std::vector<std::string> arguments)>;
    void registerNotifier(const std::string& name, NotifierCallback callback,
                          const std::string& description, unsigned char permissions);

    // Runs every line of the file; a missing file runs nothing.
    void loadCfg(const std::string& path);
    // One console line.
    void log(const std::string& text);
};
