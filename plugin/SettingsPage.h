#pragma once
// The plug-in's page in the host's settings window: a switch per feature, whether a user code is
// set (and whether it can be, when the linking server did not start), the toast switch, and the
// manual inventory and loadout syncs with their cooldowns.
//
//   SettingsPage::UseContext(context);                  // once, with the host's ImGuiContext
//   SettingsPage({cvarManager, gameWrapper, api, toastHandler, inventorySync, loadoutSync}).Render();
//
// Drawn in immediate mode: the page keeps nothing from one frame to the next; each frame reads
// the cvars and the services and draws them again. A click acts through a cvar (feature and toast
// switches) or hands the sync to the game thread with Execute; no sync runs inside a frame.
// Any service may be missing (before onLoad, or after a load that failed half-way): what it would
// show is drawn as unavailable instead.
//
// Threads: UseContext and Render run on the host's drawing thread; Render inside a frame of the
// host's context, within the host's settings window. Render reads atomics, guarded texts and
// cvars, sets cvars, and queues tasks with GameWrapper::Execute, all of which any thread may do.
#include <cstdint>
#include <memory>

#include "host/CVarManagerWrapper.h"
#include "host/GameWrapper.h"

namespace quorvex {

class InventorySync;
class LoadoutSync;
class QvxApi;
class ToastHandler;

class SettingsPage {
public:
    // Shown beside a switch or sync button whose service is missing.
    static constexpr const char* NotLoadedText = "Not loaded";
    // Shown under the user code when the linking page's local server is not running: the load could
    // not start it, or it could not listen.
    static constexpr const char* LinkingUnavailableText =
        "Account linking is not available: the plug-in could not start its local server";

    struct Services {
        std::shared_ptr<CVarManagerWrapper> cvarManager;
        std::shared_ptr<GameWrapper> gameWrapper;
        std::shared_ptr<QvxApi> api;
        std::shared_ptr<ToastHandler> toastHandler;
        std::shared_ptr<InventorySync> inventorySync;
        std::shared_ptr<LoadoutSync> loadoutSync;
        // The linking page's local server is not running: not started, or it could not listen.
        bool linkingUnavailable = false;
    };

    explicit SettingsPage(Services services);

    // Makes the host's ImGuiContext (its address) the current context of this library's Dear
    // ImGui. A null context leaves it none, and throws std::invalid_argument.
    static void UseContext(std::uintptr_t context);

    // Draws one frame of the page into the current window. Throws std::logic_error, having drawn
    // nothing, when this library has no context or the host is not inside a window of a frame.
    void Render() const;

private:
    void RenderFeatureSwitches() const;
    void RenderUserCode(bool userCodeSet) const;
    void RenderLinkingUnavailable() const;
    void RenderToastSwitch() const;
    void RenderSyncButtons() const;
    void RenderLinkHint(bool userCodeSet) const;

    Services services_;
};

}  // namespace quorvex
