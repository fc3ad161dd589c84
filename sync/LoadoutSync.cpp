#include "sync/LoadoutSync.h"

#include <cstring>
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
namespace {

// One slot of a team's loadout: an owned item, or else a catalogue product with only its id and
// quality. Nothing (logged) when the id is neither.
void AppendItem(const ItemsWrapper& items, std::uint64_t id, GameWrapper& gameWrapper, std::vector<ProductData>& out)
{
    const OnlineProductWrapper owned = items.GetOnlineProduct(id);
    if (owned) {
        out.push_back(MakeProductData(owned, gameWrapper));
        return;
    }
    // Catalogue ids are 32-bit; the slot list widens them.
    const ProductWrapper product = items.GetProduct(static_cast<std::int32_t>(id));
    if (!product) {
        Log(texts::sync::ItemDataFailedLine, id);
        return;
    }
    ProductData data;
    data.ID = product.GetID();
    data.Quality = product.GetQuality();
    out.push_back(std::move(data));
}

TeamLoadout ReadTeam(const LoadoutWrapper& loadout, const ItemsWrapper& items, GameWrapper& gameWrapper)
{
    TeamLoadout team;
    for (const std::uint64_t id : loadout.GetOnlineLoadout()) {
        if (id != 0) {
            AppendItem(items, id, gameWrapper, team.items);
        }
    }
    team.accentFinishId = loadout.GetAccentFinishId();
    team.accentPaintColorId = loadout.GetAccentPaintColorId();
    team.primaryFinishId = loadout.GetPrimaryFinishId();
    team.primaryPaintColorId = loadout.GetPrimaryPaintColorId();
    return team;
}

nlohmann::json TeamJson(const TeamLoadout& team)
{
    return {
        {"items", team.items},
        {"primary_paint_color_id", team.primaryPaintColorId},
        {"accent_paint_color_id", team.accentPaintColorId},
        {"primary_finish_id", team.primaryFinishId},
        {"accent_finish_id", team.accentFinishId},
    };
}

nlohmann::json LoadoutJson(const Loadout& loadout)
{
    return {
        {"loadout_name", loadout.name},
        {"teams", nlohmann::json::array({TeamJson(loadout.teams[0]), TeamJson(loadout.teams[1])})},
    };
}

}  // namespace

std::shared_ptr<LoadoutSync> LoadoutSync::Create(std::shared_ptr<QvxApi> api, std::shared_ptr<PersistentStorage> storage,
                                                 std::shared_ptr<PluginEventDispatcher> dispatcher,
                                                 std::shared_ptr<GameWrapper> gameWrapper)
{
    auto sync = std::make_shared<LoadoutSync>(CreateKey{}, std::move(api), std::move(storage), std::move(dispatcher),
                                              std::move(gameWrapper));
    const std::weak_ptr<LoadoutSync> weak = sync;
    LogSwitchChanges(sync->feature_.RegisterEnableCvar(*sync->storage_, EnableCvar, texts::sync::LoadoutCvarDescription),
                     weak, sync->gameWrapper_, "LoadoutSync::OnEnabledChanged", texts::sync::LoadoutSwitchLine);
    sync->gameWrapper_->HookEventWithCaller<ActorWrapper>(
        MenuPoppedHook, WeakCallback(weak, "LoadoutSync::OnMenuPopped",
                                     [](LoadoutSync& self, ActorWrapper, void* params, auto&&) { self.OnMenuPopped(params); }));
    return sync;
}

LoadoutSync::LoadoutSync(CreateKey, std::shared_ptr<QvxApi> api, std::shared_ptr<PersistentStorage> storage,
                         std::shared_ptr<PluginEventDispatcher> dispatcher, std::shared_ptr<GameWrapper> gameWrapper)
    : feature_(std::move(api), std::move(dispatcher)), storage_(std::move(storage)), gameWrapper_(std::move(gameWrapper))
{
}

SyncStatus LoadoutSync::GetSyncStatus() const
{
    return feature_.GetSyncStatus();
}

SteadyTime LoadoutSync::NextSyncAllowedAt() const
{
    return feature_.NextSyncAllowedAt();
}

void LoadoutSync::OnMenuPopped(const void* params)
{
    if (params == nullptr) {
        LogText("Menu popped without parameters; ignored");
        return;
    }
    // The first field of the call's parameters is the name index of the menu being left.
    std::int32_t nameIndex = 0;
    std::memcpy(&nameIndex, params, sizeof nameIndex);
    if (gameWrapper_->GetFNameByIndex(nameIndex) != GarageMenu) {
        return;
    }
    LogText(texts::sync::ExitedGarageLine);
    if (Sync()) {
        LogText(texts::sync::LoadoutSyncingLine);
    }
}

bool LoadoutSync::Sync()
{
    if (GetSyncStatus() != SyncStatus::Ready) {
        return false;
    }
    feature_.StartCooldown();

    std::string body;
    try {
        body = DumpJson(LoadoutJson(ReadLoadout(*gameWrapper_)), -1, "the loadout sync request");
    } catch (const std::exception& error) {
        LogException("LoadoutSync::Sync", error);
        return false;
    }
    HttpWrapper::SendCurlJsonRequest(
        feature_.api->BuildRequest(feature_.api->loadoutUrl, std::move(body)),
        WeakCallback(weak_from_this(), "LoadoutSync::HandleResponse",
                     [](const LoadoutSync& self, int status, const std::string& answer) {
                         self.HandleResponse(status, answer);
                     }));
    return true;
}

Loadout LoadoutSync::ReadLoadout(GameWrapper& gameWrapper)
{
    Loadout loadout;
    const ItemsWrapper items = gameWrapper.GetItemsWrapper();
    if (!items) {
        return loadout;
    }
    loadout.name = items.GetCurrentLoadoutName().ToString();
    Log(texts::sync::LoadoutNameLine, loadout.name);
    for (int team = 0; team < 2; ++team) {
        const LoadoutWrapper teamLoadout = items.GetCurrentLoadout(team);
        if (!teamLoadout) {
            Log(texts::sync::TeamLoadoutFailedLine, team);
            continue;
        }
        Log(texts::sync::TeamLoadoutLine, team);
        loadout.teams[static_cast<std::size_t>(team)] = ReadTeam(teamLoadout, items, gameWrapper);
    }
    return loadout;
}

void LoadoutSync::HandleResponse(int status, const std::string& body) const
{
    feature_.HandleResponse(texts::sync::LoadoutResponse, status, body, [&] {
        feature_.ShowToast(texts::sync::LoadoutSyncedToast, 0, 3.0f);
        LogText(texts::sync::LoadoutSyncedLine);
        Log(texts::api::SyncedStatusLine, status, ConsoleText(body));
    });
}

}  // namespace quorvex
