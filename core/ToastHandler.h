#pragma once
// Shows every ToastEvent as one host toast under the service's branding, unless the player has
// switched toasts off ("qvx_toasts_enabled").
//
// Threads: created on the game thread. OnToast runs on whichever thread dispatched the event (the
// game thread, an HTTP completion thread or the WebSocket thread) and calls the host's toast
// operation from there. `enabled` is an atomic that follows the cvar (core/CvarBinding.h).
#include <atomic>
#include <memory>
#include <string>

#include "core/Events.h"
#include "host/CVarManagerWrapper.h"
#include "host/GameWrapper.h"

namespace quorvex {

class PersistentStorage;
class PluginEventDispatcher;

class ToastHandler : public std::enable_shared_from_this<ToastHandler> {
    struct CreateKey {};

public:
    static constexpr const char* Title = "quorvex.com";
    static constexpr const char* Texture = "qvx_logo";
    static constexpr float Width = 290.0f;
    static constexpr float Height = 60.0f;

    // Registers "qvx_toasts_enabled", binds `enabled` to it and listens for ToastEvent.
    static std::shared_ptr<ToastHandler> Create(std::shared_ptr<PluginEventDispatcher> dispatcher,
                                                std::shared_ptr<GameWrapper> gameWrapper,
                                                std::shared_ptr<CVarManagerWrapper> cvarManager,
                                                std::shared_ptr<PersistentStorage> storage);
    ToastHandler(CreateKey, std::shared_ptr<PluginEventDispatcher> dispatcher,
                 std::shared_ptr<GameWrapper> gameWrapper,
                 std::shared_ptr<CVarManagerWrapper> cvarManager,
                 std::shared_ptr<PersistentStorage> storage);

    void OnToast(const ToastEvent& event);

    // Read by the settings page, which switches toasts through the cvar.
    const std::shared_ptr<PluginEventDispatcher> dispatcher;
    const std::shared_ptr<GameWrapper> gameWrapper;
    const std::shared_ptr<CVarManagerWrapper> cvarManager;
    const std::shared_ptr<PersistentStorage> storage;
    const std::shared_ptr<std::atomic<bool>> enabled;
    const std::string cvarName = "qvx_toasts_enabled";
};

}  // namespace quorvex
