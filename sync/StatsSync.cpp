#include "sync/StatsSync.h"

#include <algorithm>
#include <exception>
#include <utility>

#include <nlohmann/json.hpp>

#include "api/QvxApi.h"
#include "api/Texts.h"
#include "core/Boundary.h"
#include "core/Log.h"
#include "core/PersistentStorage.h"
#include "core/SafeText.h"
#include "core/WeakCallback.h"
#include "host/HttpWrapper.h"
#include "sync/SwitchChangeLog.h"
#include "sync/Texts.h"

namespace quorvex {

std::shared_ptr<StatsSync> StatsSync::Create(std::shared_ptr<QvxApi> api, std::shared_ptr<PersistentStorage> storage,
                                             std::shared_ptr<PluginEventDispatcher> dispatcher,
                                             std::shared_ptr<GameWrapper> gameWrapper)
{
    auto sync = std::make_shared<StatsSync>(CreateKey{}, std::move(api), std::move(storage), std::move(dispatcher),
                                            std::move(gameWrapper));
    const std::weak_ptr<StatsSync> weak = sync;
    LogSwitchChanges(sync->feature_.RegisterEnableCvar(*sync->storage_, EnableCvar, texts::sync::StatsCvarDescription),
                     weak, sync->gameWrapper_, "StatsSync::OnEnabledChanged", texts::sync::StatsSwitchLine);
    sync->gameWrapper_->HookEventWithCaller<ActorWrapper>(MatchEndedHook,
                                                          WeakCallback(weak, "StatsSync::OnMatchEnded",
                                                                       [](StatsSync& self, ActorWrapper, void*, auto&&) {
                                                                           if (self.Sync()) {
                                                                               LogText(texts::sync::StatsSyncingLine);
                                                                           }
                                                                       }));
    return sync;
}

StatsSync::StatsSync(CreateKey, std::shared_ptr<QvxApi> api, std::shared_ptr<PersistentStorage> storage,
                     std::shared_ptr<PluginEventDispatcher> dispatcher, std::shared_ptr<GameWrapper> gameWrapper)
    : feature_(std::move(api), std::move(dispatcher)), storage_(std::move(storage)), gameWrapper_(std::move(gameWrapper))
{
}

SyncStatus StatsSync::GetSyncStatus() const
{
    return feature_.GetSyncStatus();
}

SteadyTime StatsSync::NextSyncAllowedAt() const
{
    return feature_.NextSyncAllowedAt();
}

bool StatsSync::Sync()
{
    const SyncStatus status = GetSyncStatus();
    if (status != SyncStatus::Ready) {
        Log(texts::sync::NotSyncingLine, static_cast<int>(status));
        return false;
    }
    // A non-public match starts the cooldown too.
    feature_.StartCooldown();

    nlohmann::json body;  // null until the playlist is read
    std::int32_t playlistId = 0;
    try {
        const ServerWrapper game = gameWrapper_->GetCurrentGameState();
        if (game) {
            const GameSettingPlaylistWrapper playlist = game.GetPlaylist();
            if (playlist) {
                playlistId = playlist.GetPlaylistId();
            }
        }
        body["playlistID"] = playlistId;
    } catch (const std::exception& error) {
        LogException("StatsSync::Sync", error);
    }
    Log(texts::sync::PlaylistLine, playlistId);

    if (std::find(NonPublicPlaylistIds.begin(), NonPublicPlaylistIds.end(), playlistId) != NonPublicPlaylistIds.end()) {
        LogText(texts::sync::NonPublicMatchLine);
        return true;
    }
    HttpWrapper::SendCurlJsonRequest(feature_.api->BuildRequest(feature_.api->statsUrl, body.dump()),
                                     WeakCallback(weak_from_this(), "StatsSync::HandleResponse",
                                                  [](const StatsSync& self, int code, const std::string& answer) {
                                                      self.HandleResponse(code, answer);
                                                  }));
    return true;
}

void StatsSync::HandleResponse(int status, const std::string& body) const
{
    feature_.HandleResponse(texts::sync::StatsResponse, status, body, [&] {
        feature_.ShowToast(texts::sync::StatsRequestedToast, 0, 3.0f);
        LogText(texts::sync::StatsRequestedLine);
        Log(texts::api::SyncedStatusLine, status, ConsoleText(body));
    });
}

}  // namespace quorvex
