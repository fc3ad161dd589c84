#pragma once
// Keeps the plug-in's cvars from one run of the game to the next, in a file of console commands
// ("name \"value\" //description" per line) that the host executes shortly after start-up.
//
// Owners register their cvars through the store during onLoad; the load runs 0.1 s later on the
// game thread and sets the saved values. From then on the whole file is rewritten on every change
// of a stored cvar, on the console command "writeconfig", and when the store is destroyed. Before
// the load nothing is written, so the defaults never replace the saved values. The file is
// replaced atomically, and a value never carries a double quote or a line break into it (they are
// dropped with a warning), so the file always executes as the commands it was meant to hold. It
// is written in the platform's text format: lines end with CR LF on Windows, LF elsewhere.
//
// Threads: creation, registrations and the load run on the game thread. Cvar changes, and so
// writes, come from the game thread or the WebSocket thread: the map and the file writes are
// serialised by one mutex; `loaded_` is atomic.
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/CVarManagerWrapper.h"
#include "host/PluginBase.h"

namespace quorvex {

class PersistentStorage : public std::enable_shared_from_this<PersistentStorage> {
    struct CreateKey {};

public:
    // The file is <host folder>/cfg/<storageName>.cfg.
    static std::shared_ptr<PersistentStorage> Create(const Plexar::Plugin::PlexarPlugin& plugin,
                                                     const std::string& storageName, bool autoWrite,
                                                     bool autoLoad);
    PersistentStorage(CreateKey, const Plexar::Plugin::PlexarPlugin& plugin,
                      const std::string& storageName, bool autoWrite);
    // Writes the file one last time if the load has run.
    ~PersistentStorage();
    PersistentStorage(const PersistentStorage&) = delete;
    PersistentStorage& operator=(const PersistentStorage&) = delete;

    // Registers the cvar with the host (min and max have no effect) and stores it. Returns the
    // host's cvar, null when the host refused it.
    CVarWrapper RegisterPersistentCvar(const std::string& name, const std::string& defaultValue,
                                       const std::string& description, bool searchable, float min,
                                       float max);
    // Stores a cvar already registered with the host.
    void AddCVar(const std::string& name);
    void WriteStorage();
    void LoadStorage();

    const std::filesystem::path& CfgPath() const { return cfgPath_; }
    bool IsLoaded() const { return loaded_; }

private:
    struct StoredCvar {
        std::string value;
        std::string description;
    };

    void OnCvarChanged(const CVarWrapper& cvar);
    StoredCvar ReadStorable(const CVarWrapper& cvar) const;

    std::shared_ptr<CVarManagerWrapper> cvarManager_;
    std::filesystem::path cfgPath_;
    bool autoWrite_;
    std::atomic<bool> loaded_{false};
    std::mutex mutex_;  // guards cvars_ and the file
    std::map<std::string, StoredCvar> cvars_;
};

}  // namespace quorvex
