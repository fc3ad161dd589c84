#pragma once
// The host console: cvars, commands (notifiers), console lines and cfg files. The
// CVarManagerWrapper handed to the plug-in holds the address of the Console.
//
// Threads: every operation may be called from any thread. The cvar and command tables are
// guarded by mutex_ (which the cvars also use for their values); it is never held while plug-in
// code runs, so commands and callbacks may use the console freely. Cvars are never removed, so a
// Cvar* stays valid for the console's lifetime.
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/CVarManagerWrapper.h"
#include "sim/Cvar.h"

namespace sim {

class Journal;

class Console {
public:
    explicit Console(Journal& journal);

    // The existing cvar when the name is taken; nullptr (and a console line) for a refused name.
    Cvar* RegisterCvar(CvarDefinition definition);
    // nullptr when no cvar has the name.
    Cvar* FindCvar(const std::string& name) const;
    // A second registration under the same name replaces the first.
    void RegisterNotifier(const std::string& name, CVarManagerWrapper::NotifierCallback callback);

    // Runs one console line; a line that cannot be run is logged and skipped. Besides the cvars
    // and the registered commands the console knows two of its own, unless a cvar or command
    // takes the name: "cvarlist [PREFIX]" logs each cvar (whose name starts with PREFIX) with its
    // value and description, "help" the commands.
    void Execute(const std::string& line);
    // What a console line may start with: every cvar, every command and the console's own two,
    // sorted, each once.
    std::vector<std::string> Names() const;
    // Runs every line of the file; a missing file is logged and sets nothing.
    void LoadCfg(const std::filesystem::path& path);
    // Appends one console line, exactly as given.
    void Log(const std::string& text);

private:
    CVarManagerWrapper::NotifierCallback FindNotifier(const std::string& name) const;
    // Runs the console's own command of that name; false when there is none.
    bool RunBuiltIn(const std::vector<std::string>& arguments);
    void ListCvars(const std::string& prefix);
    void ListCommands();

    Journal& journal_;
    mutable std::mutex mutex_;
    std::map<std::string, std::unique_ptr<Cvar>> cvars_;
    std::map<std::string, CVarManagerWrapper::NotifierCallback> notifiers_;
};

}  // namespace sim
