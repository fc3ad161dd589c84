#pragma once
// Uploads the player's current loadout (its name and, for both teams, the equipped items with the
// paint colour and finish ids) when the player leaves the garage menu, and when the settings page
// asks for it. At most one upload per 10-second cooldown; "qvx_loadoutsync_enable" switches it.
//
//   auto loadouts = LoadoutSync::Create(api, storage, dispatcher, gameWrapper);
//   loadouts->Sync();  // on the game thread
//
// Threads:
// - Game thread: Create, the menu hook, Sync, ReadLoadout, and the task that logs a switch change.
// - HTTP completion thread: the response handler, which posts toasts and on a 401 clears the
//   switch.
// - Any thread (the settings page): GetSyncStatus, NextSyncAllowedAt.
// Shared state is the sync feature's: an atomic switch and an atomic cooldown end. Callbacks hold a
// weak reference and do nothing once the object is gone.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api/SyncFeature.h"
#include "core/Clock.h"
#include "host/GameWrapper.h"
#include "inventory/ProductData.h"

namespace quorvex {

class PersistentStorage;
class PluginEventDispatcher;
class QvxApi;

// One team's variant of the loadout.
struct TeamLoadout {
    // In the order of the host's slot list; empty slots left out.
    std::vector<ProductData> items;
    std::uint8_t primaryPaintColorId = 0;
    std::uint8_t accentPaintColorId = 0;
    std::int32_t primaryFinishId = 0;
    std::int32_t accentFinishId = 0;
};

struct Loadout {
    std::string name;
    // In the host's team numbering; a team the host cannot give stays empty.
    std::array<TeamLoadout, 2> teams;
};

class LoadoutSync : public std::enable_shared_from_this<LoadoutSync> {
    struct CreateKey {};

public:
    static constexpr const char* EnableCvar = "qvx_loadoutsync_enable";
    static constexpr const char* MenuPoppedHook = "Function TAGame.GFxData_MenuStack_TA.PopMenu";
    static constexpr const char* GarageMenu = "GarageMainMenuMovie";

    // Registers the enable cvar and the menu hook. Game thread.
    static std::shared_ptr<LoadoutSync> Create(std::shared_ptr<QvxApi> api, std::shared_ptr<PersistentStorage> storage,
                                               std::shared_ptr<PluginEventDispatcher> dispatcher,
                                               std::shared_ptr<GameWrapper> gameWrapper);
    LoadoutSync(CreateKey, std::shared_ptr<QvxApi> api, std::shared_ptr<PersistentStorage> storage,
                std::shared_ptr<PluginEventDispatcher> dispatcher, std::shared_ptr<GameWrapper> gameWrapper);
    LoadoutSync(const LoadoutSync&) = delete;
    LoadoutSync& operator=(const LoadoutSync&) = delete;

    // Uploads the current loadout. Returns whether a request was sent (false: the gate refused,
    // or reading the loadout failed, which is logged). Game thread.
    bool Sync();

    SyncStatus GetSyncStatus() const;
    SteadyTime NextSyncAllowedAt() const;

    // The loadout as the host gives it: an empty one without an items store. Ids that are neither
    // an owned item nor a catalogue product are logged and left out. Game thread.
    static Loadout ReadLoadout(GameWrapper& gameWrapper);

private:
    void OnMenuPopped(const void* params);
    void HandleResponse(int status, const std::string& body) const;

    SyncFeature feature_;
    std::shared_ptr<PersistentStorage> storage_;
    std::shared_ptr<GameWrapper> gameWrapper_;
};

}  // namespace quorvex
