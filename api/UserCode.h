#pragma once
// The player's user code: the one place that decides which code the plug-in uses. A code comes
// from the linking page (Offer), the console or the settings file (both through the cvar
// "hidden_qvx_user_code"); each is checked here, by Problem, and only an accepted code that
// differs from the current one changes anything: it becomes current, goes to the cvar and to the
// settings store, and a UserCodeChanged event tells the others (on the thread that made the
// change). A refused code changes nothing: one console line, and the cvar reads the current code
// again. The empty code is allowed: it unlinks the account.
//
// A code accepted since start (from the page or the console) wins over the settings file's, which
// the host loads 0.1 s after start while the linking server already listens: the load keeps it,
// the console says so in one line, and the file gets it when the load ends.
//
// The console shows a code only by its last characters (Shown): players paste their logs.
//
// Threads: created on the game thread. Offer runs on the WebSocket thread, the cvar's callback on
// the thread that changed the cvar (the game thread: the console and the load). One mutex
// serialises every change (check, current code, cvar, store, event), so two changes racing end
// with the later one everywhere. Get and IsEmpty read the current code under its own lock and
// may run on any thread, listeners of the event included. The host runs cvar callbacks without
// a lock of its own held (a callback may set a cvar), so setting the cvar under the mutex is safe.
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/GuardedText.h"
#include "host/CVarWrapper.h"

namespace quorvex {

class PersistentStorage;
class PluginEventDispatcher;

class UserCode : public std::enable_shared_from_this<UserCode> {
    struct CreateKey {};

public:
    static constexpr const char* Cvar = "hidden_qvx_user_code";
    static constexpr std::size_t MaxBytes = 128;

    enum class Outcome { Changed, Unchanged, Refused };
    struct Offered {
        Outcome outcome;
        // The code it replaced, when changed.
        std::string previous;
        // Why the settings file could not be written, when changed and not saved; the code is
        // still used for this session.
        std::string saveFailure;
        // Changed, and the save is still being tried: Offer's `saved` hears how it ends.
        bool savePending = false;
    };
    // How a pending save ended: a Changed Offered with saveFailure set or empty.
    using Saved = std::function<void(const Offered&)>;

    // Registers the cvar through the store and follows it; a code the host's cvar already holds
    // (from an earlier load in the same game) is current from the start.
    static std::shared_ptr<UserCode> Create(std::shared_ptr<PersistentStorage> storage,
                                            std::shared_ptr<PluginEventDispatcher> dispatcher);
    UserCode(CreateKey, std::shared_ptr<PersistentStorage> storage, std::shared_ptr<PluginEventDispatcher> dispatcher);

    // A code from the linking page; `saved` is called only when the save is pending.
    Offered Offer(const std::string& code, Saved saved = {});

    std::string Get() const { return current_.Get(); }
    bool IsEmpty() const { return current_.IsEmpty(); }

    // Why the text cannot be a user code, or empty when it can: at most MaxBytes of printable
    // ASCII without white space, `"` or `\` (it goes into a cvar, a console command in the
    // settings file and a request header).
    static std::string Problem(const std::string& code);
    // The code as the console shows it: its last four characters (never more than half of it)
    // after "…"; the empty code as it is.
    static std::string Shown(const std::string& code);

private:
    enum class Source { LinkingPage, Console, SettingsFile };

    // The code the cvar already holds: the host keeps cvars when the plug-in is loaded again.
    void TakeExisting();
    void OnCvarChanged();
    // With changeMutex_ held.
    Offered Take(const std::string& code, Source source, Saved saved = {});
    void SetCvar(const std::string& code);

    const std::shared_ptr<PersistentStorage> storage_;
    const std::shared_ptr<PluginEventDispatcher> dispatcher_;
    CVarWrapper cvar_{0};
    std::mutex changeMutex_;
    GuardedText current_;
    // Guarded by changeMutex_: a code was accepted from the page or the console since start.
    bool acceptedSinceStart_ = false;
};

}  // namespace quorvex
