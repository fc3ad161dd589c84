#pragma once
// Keeps the plug-in's cvars from one run of the game to the next, in a file of console commands
// ("name \"value\" //description" per line) that the host executes shortly after start-up.
//
// Owners register their cvars through the store during onLoad; the load runs 0.1 s later on the
// game thread and sets the saved values. From then on the whole file is rewritten on every change
// of a stored cvar, on the console command "writeconfig", and when the store is destroyed. Before
// the load nothing is written, so the defaults never replace the saved values; a value its owner
// set before or during the load (one that wins over the file's) is written when the load ends.
// The file is replaced atomically, and a value never carries a double quote or a line break into
// it (they are dropped with a warning), so the file always executes as the commands it was meant
// to hold. It is written in the platform's text format: lines end with CR LF on Windows, LF
// elsewhere. Only a regular file of at most MaxFileBytes is handed to the host's load (a FIFO
// there would block the game thread for good); anything else is moved aside, the defaults apply
// and the file is written afresh.
//
// On Windows another program may hold the file open for a moment just after it was written (an
// antivirus scanner reading it): a write that finds it so is tried again on a game-thread timer
// (core/HeldFileRetry.h), each time with the latest values, and only after about a second does
// the failure stand, logged once. A Store whose write is waiting so says it is pending and hears
// how it ended later; it is never reported as saved before it is. So does a Store before the
// load ends: its value is written, or fails to be, when the load ends.
//
// Most cvars are followed: the store reads the value after every change. A cvar whose owner
// decides which values it takes (the user code) is registered with RegisterOwnedCvar instead, and
// its owner hands the store each value it accepted with Store.
//
// Threads: creation, registrations and the load run on the game thread. Cvar changes, and so
// writes, come from the game thread or the WebSocket thread: one mutex serialises them, and a
// changed value is read and stored under it, so two changes racing leave the later one stored
// and in the file. Retries run on the game thread under the same mutex; a pending Store's
// `settled` runs on the game thread, outside it. `loaded_` and `loading_` are atomic.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/HeldFileRetry.h"
#include "core/OsFileCalls.h"
#include "host/CVarManagerWrapper.h"
#include "host/PluginBase.h"

namespace quorvex {

class PersistentStorage : public std::enable_shared_from_this<PersistentStorage> {
    struct CreateKey {};

public:
    // What became of a Store's write.
    struct SaveOutcome {
        // Another program holds the file: the write is being tried again, and `settled` hears
        // how it ended.
        bool pending = false;
        // Why it failed, when it did.
        std::string failure;
    };
    // Called once, on the game thread, with why the pending write failed for good (empty when it
    // was written in the end).
    using Settled = std::function<void(const std::string& failure)>;

    // The file is <host folder>/cfg/<storageName>.cfg; `os` are the file calls it is written with.
    static std::shared_ptr<PersistentStorage> Create(const Plexar::Plugin::PlexarPlugin& plugin,
                                                     const std::string& storageName, bool autoWrite,
                                                     bool autoLoad, const OsFileCalls& os = SystemFileCalls());
    PersistentStorage(CreateKey, const Plexar::Plugin::PlexarPlugin& plugin,
                      const std::string& storageName, bool autoWrite, const OsFileCalls& os);
    // Writes the file one last time if the load has run.
    ~PersistentStorage();
    PersistentStorage(const PersistentStorage&) = delete;
    PersistentStorage& operator=(const PersistentStorage&) = delete;

    // Registers the cvar with the host (min and max have no effect) and stores it. Returns the
    // host's cvar, null when the host refused it.
    CVarWrapper RegisterPersistentCvar(const std::string& name, const std::string& defaultValue,
                                       const std::string& description, bool searchable, float min,
                                       float max);
    // Registers the cvar with the host and stores its default; the store does not follow it: its
    // owner hands over each value it accepts with Store.
    CVarWrapper RegisterOwnedCvar(const std::string& name, const std::string& defaultValue,
                                  const std::string& description);
    // Stores a cvar already registered with the host.
    void AddCVar(const std::string& name);
    // The owned cvar's new value. Once loaded, the file is written at once: returns what became
    // of that write. Before the load ends, the file is written when it does: pending till then.
    SaveOutcome Store(const std::string& name, const std::string& value, Settled settled = {});
    // The owned cvar's value as the settings file holds it, taken during the load: nothing is
    // written for it.
    void StoreLoaded(const std::string& name, const std::string& value);
    void WriteStorage();
    void LoadStorage();

    static constexpr std::uintmax_t MaxFileBytes = 1024 * 1024;

    const std::filesystem::path& CfgPath() const { return cfgPath_; }
    bool IsLoaded() const { return loaded_; }
    // True while the host executes the settings file: a change then comes from the file.
    bool IsLoading() const { return loading_; }

private:
    struct StoredCvar {
        std::string value;
        std::string description;
    };

    void OnCvarChanged(const CVarWrapper& cvar);
    // With mutex_ held.
    void Keep(const std::string& name, const std::string& value);
    // Writes the file; when it is held by another program and `mayRetry`, sets the retry timer
    // and returns pending. Otherwise the outcome is final: a failure is logged, and the pending
    // Stores hear it.
    SaveOutcome WriteLocked(bool mayRetry = true);
    // The retry timer's task, on the game thread.
    void RetryWrite();
    // Whether the file may be handed to the host; moves it aside when not.
    bool CheckFileBeforeLoad();

    std::shared_ptr<CVarManagerWrapper> cvarManager_;
    std::shared_ptr<GameWrapper> gameWrapper_;
    const OsFileCalls& os_;
    std::filesystem::path cfgPath_;
    bool autoWrite_;
    std::atomic<bool> loaded_{false};
    std::atomic<bool> loading_{false};
    std::mutex mutex_;  // guards cvars_, writeWhenLoaded_, retry_, waiting_ and the file
    std::map<std::string, StoredCvar> cvars_;
    bool writeWhenLoaded_ = false;
    HeldFileRetry retry_;
    std::vector<Settled> waiting_;  // the pending Stores
};

}  // namespace quorvex
