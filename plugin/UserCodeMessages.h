#pragma once
// The linking page's "UserCode" messages: {"UserCode": "..."} offers the player's user code to
// UserCode (api/UserCode.h), which checks and keeps it, and is answered "OK" once the code is the
// current one. The current code again is only answered "OK", so a page (or a client) repeating
// it costs nothing. A refused code is not answered; other JSON is ignored; malformed JSON and a
// code that is not a text throw (the caller logs them).
//
// Any local process can reach the server, so changes are rate-limited across all its connections:
// after a change, a different code within MinSecondsBetweenChanges is not taken and not answered,
// with one console line per burst. A change shows a toast; a replaced account or a code that
// could not be saved says so; while the save is still being tried (the settings file held by
// another program), the toast waits for its outcome. Toasts are merged: at most one is on screen, and a change while one
// is up shows its toast, the latest change's, when that one ends.
//
// Both are timed on the steady clock: a wall clock set back or forward neither holds a change or
// a toast back longer than their length nor lets a change through sooner.
//
// Threads: Take runs on the WebSocket server thread (the server has one), which alone touches
// the rate state. A merged toast is shown by a timer on the game thread, the toast of a pending
// save when it ends, on the game thread too; the toast state is guarded by toastMutex_.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/Clock.h"
#include "core/Events.h"
#include "host/GameWrapper.h"

namespace quorvex {

class PluginEventDispatcher;
class UserCode;
class WsMessage;

class UserCodeMessages : public std::enable_shared_from_this<UserCodeMessages> {
public:
    static constexpr double MinSecondsBetweenChanges = 5.0;
    static constexpr float ToastSeconds = 7.0f;

    UserCodeMessages(std::shared_ptr<UserCode> userCode, std::shared_ptr<PluginEventDispatcher> dispatcher,
                     std::shared_ptr<GameWrapper> gameWrapper);

    void Take(WsMessage& message);

private:
    struct Toast {
        std::string text;
        int kind;
    };

    bool TooSoon() const;
    // The toast of a change: set, or for this session only when it could not be saved.
    void ShowChange(const std::string& code, const std::string& previous, const std::string& saveFailure);
    void Show(Toast toast);
    void ShowWaitingToast();

    const std::shared_ptr<UserCode> userCode_;
    const std::shared_ptr<PluginEventDispatcher> dispatcher_;
    const std::shared_ptr<GameWrapper> gameWrapper_;
    std::optional<SteadyTime> lastChangeAt_;
    bool tooSoonLogged_ = false;

    std::mutex toastMutex_;
    SteadyTime toastUpUntil_{};
    std::optional<Toast> waitingToast_;
};

}  // namespace quorvex
