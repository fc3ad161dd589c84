#pragma once
// Asks the service to refresh the player's stats and ranks when a match ends, telling it the
// playlist of the finished match. Matches in the eight non-public playlists are not reported (but
// still start the cooldown). At most one request per 10-second cooldown; "qvx_stats_enable"
// switches it.
//
//   auto stats = StatsSync::Create(api, storage, dispatcher, gameWrapper);
//
// Threads:
// - Game thread: Create, the match-end hook, Sync, and the task that logs a switch change.
// - HTTP completion thread: the response handler, which posts toasts and on a 401 clears the
//   switch.
// - Any thread: GetSyncStatus, NextSyncAllowedAt.
// Shared state is the sync feature's: an atomic switch and an atomic cooldown end. Callbacks hold a
// weak reference and do nothing once the object is gone.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "api/SyncFeature.h"
#include "core/Clock.h"
#include "host/GameWrapper.h"

namespace quorvex {

class PersistentStorage;
class PluginEventDispatcher;
class QvxApi;

class StatsSync : public std::enable_shared_from_this<StatsSync> {
    struct CreateKey {};

public:
    static constexpr const char* EnableCvar = "qvx_stats_enable";
    static constexpr const char* MatchEndedHook = "Function TAGame.GameEvent_Soccar_TA.EventMatchEnded";
    // Matches in these playlists are never reported.
    static constexpr std::array<std::int32_t, 8> NonPublicPlaylistIds{6, 7, 8, 9, 19, 20, 21, 26};

    // Registers the enable cvar and the match-end hook. Game thread.
    static std::shared_ptr<StatsSync> Create(std::shared_ptr<QvxApi> api, std::shared_ptr<PersistentStorage> storage,
                                             std::shared_ptr<PluginEventDispatcher> dispatcher,
                                             std::shared_ptr<GameWrapper> gameWrapper);
    StatsSync(CreateKey, std::shared_ptr<QvxApi> api, std::shared_ptr<PersistentStorage> storage,
              std::shared_ptr<PluginEventDispatcher> dispatcher, std::shared_ptr<GameWrapper> gameWrapper);
    StatsSync(const StatsSync&) = delete;
    StatsSync& operator=(const StatsSync&) = delete;

    // Reports the match that just ended. False when the gate refused (the reason is logged); true
    // once it passed, also for a non-public match, which sends nothing. Game thread.
    bool Sync();

    SyncStatus GetSyncStatus() const;
    SteadyTime NextSyncAllowedAt() const;

private:
    void HandleResponse(int status, const std::string& body) const;

    SyncFeature feature_;
    std::shared_ptr<PersistentStorage> storage_;
    std::shared_ptr<GameWrapper> gameWrapper_;
};

}  // namespace quorvex
