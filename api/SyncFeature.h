#pragma once
// What every sync feature (inventory, loadout, stats) shares: its on/off switch bound to an enable
// cvar, its 10-second cooldown, its toasts, the gate that says whether a sync may run now, and the
// handling of the service's answer that all sync requests have in common.
//
// Threads: the gate, the cooldown and the cvar binding are used on the game thread (the settings
// page reads the gate while drawing). HandleResponse runs on an HTTP completion thread and may
// clear `enabled`. `enabled` and the outage flag are atomics (`enabled` follows its cvar through
// core/CvarBinding.h); the cooldown's end is an atomic
// count of steady clock ticks.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "core/Clock.h"
#include "host/CVarWrapper.h"

namespace quorvex {

class PersistentStorage;
class PluginEventDispatcher;
class QvxApi;

// Why a sync may or may not run now, tested in the order NoUserCode, CoolingDown, Disabled.
enum class SyncStatus : int {
    Ready = 0,
    CoolingDown = 1,
    Disabled = 2,
    NoUserCode = 3,
};

// The texts of one kind of sync request; each holds two "{}": the status and the body (the
// server-error line none).
struct SyncResponseTexts {
    const char* firstLogLine;
    const char* serverErrorLogLine;
    const char* failureToast;
    const char* failureLogLine;
};

// Whether every failed answer shows the failure toast, or only the first of an outage (the
// failures until the next 200).
enum class FailureToasts {
    EveryFailure,
    OncePerOutage,
};

class SyncFeature {
public:
    static constexpr std::chrono::seconds cooldown{10};

    SyncFeature(std::shared_ptr<QvxApi> api, std::shared_ptr<PluginEventDispatcher> dispatcher);

    // Registers the feature's enable cvar (default "1") through the store and binds `enabled`
    // to it. Returns the cvar (null when the host refused it) for the feature's own handlers.
    CVarWrapper RegisterEnableCvar(PersistentStorage& storage, const std::string& name,
                                   const std::string& description) const;

    SyncStatus GetSyncStatus() const;
    SteadyTime NextSyncAllowedAt() const;
    // The next sync may run `cooldown` from now.
    void StartCooldown();
    // No sync before `wait` from now (the service asked for it); a later end already set stays.
    void HoldBack(std::chrono::seconds wait);

    void ShowToast(const std::string& text, int toastType, float seconds) const;

    // Logs the first line; 200 runs onSuccess; 401 switches the feature off for this session with
    // the service's message (or a default) as toast and log; 500 logs only; anything else shows
    // and logs the failure texts with the status and body (the toast as `toasts` says).
    void HandleResponse(const SyncResponseTexts& texts, int status, const std::string& body,
                        const std::function<void()>& onSuccess,
                        FailureToasts toasts = FailureToasts::EveryFailure) const;

    const std::shared_ptr<QvxApi> api;
    const std::shared_ptr<PluginEventDispatcher> dispatcher;
    const std::shared_ptr<std::atomic<bool>> enabled;

private:
    // On the steady clock: a wall clock set back must not lengthen the cooldown.
    std::atomic<SteadyTime::rep> nextSyncAllowedAt_{0};
    // An outage's failure toast was shown; cleared by a 200.
    mutable std::atomic<bool> outageToastShown_{false};
};

}  // namespace quorvex
