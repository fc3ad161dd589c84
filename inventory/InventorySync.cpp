#include "inventory/InventorySync.h"

#include <cstring>
#include <stdexcept>
#include <utility>

#include <nlohmann/json.hpp>

#include "api/QvxApi.h"
#include "core/Boundary.h"
#include "core/Log.h"
#include "core/PersistentStorage.h"
#include "core/SafeText.h"
#include "core/WeakCallback.h"
#include "host/CVarWrapper.h"

namespace quorvex {
namespace {

const SyncResponseTexts SyncTexts{
    "InventorySyncResponse : Code: {}, Response: {}",
    "500 on inventory sync!",
    "Failed to sync inventory ({})!\nError: {}",
    "Failed to sync inventory ({}), response:\n{}",
};

const SyncResponseTexts ToggleTexts{
    "InventorySyncToggleResponse : Code: {}, Response: {}",
    "500 on inventory sync toggle!",
    "Failed to toggle inventory sync ({})!\nError: {}",
    "Failed to toggle inventory sync ({}), response:\n{}",
};

constexpr const char* RequestText = "the inventory sync request";

}  // namespace

std::optional<SyncAnswer> ReadSyncAnswer(const std::string& body)
{
    const auto answer = nlohmann::json::parse(body, nullptr, false);
    const char* problem = nullptr;
    if (answer.is_discarded()) {
        problem = "not JSON";
    } else if (!answer.is_object() || !answer.contains("guid") || !answer["guid"].is_string()) {
        problem = "no string \"guid\"";
    } else if (!answer.contains("full") || !answer["full"].is_boolean()) {
        problem = "no boolean \"full\"";
    }
    if (problem != nullptr) {
        Log("Inventory sync answer has {}; the inventory snapshot is kept", problem);
        return std::nullopt;
    }
    return SyncAnswer{answer["guid"].get<std::string>(), answer["full"].get<bool>()};
}

std::shared_ptr<InventorySync> InventorySync::Create(std::shared_ptr<QvxApi> api,
                                                     std::shared_ptr<PersistentStorage> storage,
                                                     std::shared_ptr<PluginEventDispatcher> dispatcher,
                                                     std::shared_ptr<GameWrapper> gameWrapper,
                                                     std::unique_ptr<Executor> executor)
{
    auto sync = std::make_shared<InventorySync>(CreateKey{}, std::move(api), std::move(storage), std::move(dispatcher),
                                                std::move(gameWrapper), std::move(executor));
    const std::weak_ptr<InventorySync> weak = sync;
    GameWrapper& game = *sync->gameWrapper_;

    CVarWrapper cvar = sync->feature_.RegisterEnableCvar(*sync->storage_, EnableCvar, "If Inventory sync should be enbled");
    if (cvar) {
        cvar.addOnValueChanged(WeakCallback(
            weak, "InventorySync::OnEnabledChanged",
            [weak](InventorySync& self, const std::string& oldText, const CVarWrapper& changed) {
                const bool newValue = changed.getBoolValue();
                const bool oldValue = Plexar::CVarTextToBool(oldText);
                self.gameWrapper_->Execute(WeakCallback(weak, "InventorySync::OnEnabledChanged",
                                                        [oldValue, newValue](InventorySync& target, GameWrapper*) {
                                                            target.OnEnabledChanged(oldValue, newValue);
                                                        }));
            }));
    }

    game.HookEventWithCaller<ActorWrapper>(
        ProductRemovedHook,
        WeakCallback(weak, "InventorySync::OnProductRemoved", [](InventorySync& self, ActorWrapper, void* params, auto&&) {
            self.OnProductChanged(params, RemovedProductOffset, "Removed");
        }));
    for (const char* hook : {ProductReceivedSilentlyHook, ProductReceivedHook}) {
        game.HookEventWithCaller<ActorWrapper>(
            hook, WeakCallback(weak, "InventorySync::OnProductReceived",
                               [](InventorySync& self, ActorWrapper, void* params, auto&&) {
                                   self.OnProductChanged(params, ReceivedProductOffset, "Received");
                               }));
    }

    ScheduleSync(weak, game, false, StartupDelaySeconds);
    return sync;
}

InventorySync::InventorySync(CreateKey, std::shared_ptr<QvxApi> api, std::shared_ptr<PersistentStorage> storage,
                             std::shared_ptr<PluginEventDispatcher> dispatcher,
                             std::shared_ptr<GameWrapper> gameWrapper, std::unique_ptr<Executor> executor)
    : feature_(std::move(api), std::move(dispatcher)),
      storage_(std::move(storage)),
      gameWrapper_(std::move(gameWrapper)),
      snapshot_(gameWrapper_->GetDataFolder()),
      executor_(std::move(executor))
{
}

InventorySync::~InventorySync() = default;

SyncStatus InventorySync::GetSyncStatus() const
{
    return feature_.GetSyncStatus();
}

SystemTime InventorySync::NextSyncAllowedAt() const
{
    return feature_.NextSyncAllowedAt();
}

void InventorySync::OnProductChanged(const void* params, std::size_t productOffset, const char* change)
{
    std::uint64_t address = 0;
    if (params != nullptr) {
        std::memcpy(&address, static_cast<const unsigned char*>(params) + productOffset, sizeof address);
    }
    const OnlineProductWrapper product(static_cast<std::uintptr_t>(address));
    if (product.IsNull()) {
        // Nothing to describe, but the game still reported a change.
        Log("Product hook without a product ({}); syncing the inventory anyway", change);
    } else {
        const ProductData data = MakeProductData(product, *gameWrapper_);
        Log("{} {}", product.GetLongLabel().ToString(), change);
        LogText(DumpJson(data, 4, "the logged product"));
    }
    OnInventoryChanged();
}

void InventorySync::OnInventoryChanged()
{
    if (GetSyncStatus() != SyncStatus::Ready) {
        return;
    }
    const std::uint64_t change = ++lastChange_;
    gameWrapper_->SetTimeout(WeakCallback(weak_from_this(), "InventorySync::OnInventoryChanged",
                                          [change](InventorySync& self, GameWrapper*) {
                                              if (self.lastChange_ != change) {
                                                  LogText("Inventory changed since the timeout was started");
                                                  return;
                                              }
                                              LogText("Syncing inventory");
                                              self.Sync(false);
                                          }),
                             QuietSeconds);
}

bool InventorySync::Sync(bool full)
{
    LogText("Attempting sync...");
    if (!snapshot_.Exists()) {
        full = true;
    }
    const SyncStatus status = GetSyncStatus();
    if (status != SyncStatus::Ready) {
        Log("Unable to sync, reason: {}", static_cast<int>(status));
        return false;
    }
    feature_.StartCooldown();

    std::vector<ProductData> items;
    try {
        items = GetCurrentItems(*gameWrapper_);
    } catch (const std::runtime_error& error) {
        LogException("InventorySync::Sync", error);
        return false;
    }
    // The headers need the host; the body is written on the executor.
    CurlRequest request = feature_.api->BuildRequest({}, {});
    executor_->Post(WeakTask(weak_from_this(), "InventorySync::Sync",
                             [weak = weak_from_this(), snapshot = snapshot_, url = feature_.api->smartSyncUrl, full,
                              items = std::move(items), request = std::move(request)]() mutable {
                                 BuildAndSend(weak, snapshot, url, full, std::move(items), std::move(request));
                             }));
    return true;
}

void InventorySync::BuildAndSend(const std::weak_ptr<InventorySync>& weak, const InventorySnapshot& snapshot,
                                 const std::string& smartSyncUrl, bool full, std::vector<ProductData> items,
                                 CurlRequest request)
{
    if (!full) {
        try {
            const InventoryDiff diff = snapshot.ComputeDiff(items);
            request.url = smartSyncUrl + "?lastRequest=" + diff.previousGuid;
            request.body = DumpJson(
                {{"addedItems", diff.added}, {"previousGuid", diff.previousGuid}, {"removedItems", diff.removed}}, -1,
                RequestText);
        } catch (const std::exception& error) {
            Log("Inventory snapshot {} cannot be used ({}); sending a full sync instead", snapshot.File().string(),
                error.what());
            full = true;
        }
    }
    if (full) {
        request.url = smartSyncUrl + "?lastRequest";
        request.body = DumpProducts(items, -1, 0, RequestText);
    }
    Log("Requesting a {} at {}", full ? "full sync" : "diff sync", request.url);

    // The accepted list becomes the next snapshot; the answer and the write share it.
    auto accepted = std::make_shared<const std::vector<ProductData>>(std::move(items));
    HttpWrapper::SendCurlJsonRequest(
        std::move(request),
        WeakCallback(weak, "InventorySync::HandleSyncResponse",
                     [accepted = std::move(accepted), full](InventorySync& self, int status, const std::string& body) {
                         self.HandleSyncResponse(status, body, accepted, full);
                     }));
}

void InventorySync::HandleSyncResponse(int status, const std::string& body,
                                       const std::shared_ptr<const std::vector<ProductData>>& items, bool wasFull)
{
    feature_.HandleResponse(SyncTexts, status, body, [&] {
        feature_.ShowToast("Inventory synced!", 0, 3.0f);
        LogText("Synced inventory.");
        Log("status: {}, response:\n {}", status, ConsoleText(body));
        const auto answer = ReadSyncAnswer(KeptBody(body));
        if (!answer) {
            return;
        }
        Log("Got guid {}", answer->guid);
        executor_->Post(WeakTask(weak_from_this(), "InventorySync::HandleSyncResponse",
                                 [weak = weak_from_this(), snapshot = snapshot_, game = gameWrapper_,
                                  guid = answer->guid, items, wasFull, wantsFull = answer->wantsFull] {
                                     StoreAcceptedUpload(weak, snapshot, *game, guid, *items, wasFull, wantsFull);
                                 }));
    });
}

void InventorySync::StoreAcceptedUpload(const std::weak_ptr<InventorySync>& weak, const InventorySnapshot& snapshot,
                                        GameWrapper& gameWrapper, const std::string& guid,
                                        const std::vector<ProductData>& items, bool wasFull, bool wantsFull)
{
    const std::string failure = snapshot.Write(guid, items);
    if (!failure.empty()) {
        Log("Could not write the inventory snapshot: {}", failure);
        return;
    }
    // The snapshot is written either way; a sync destroyed meanwhile neither retries nor logs.
    if (!wantsFull || weak.expired()) {
        return;
    }
    LogText("Full resync requested, retrying in 10 secs...");
    if (wasFull) {
        LogText("Already sent full sync but full resync wanted!");
        return;
    }
    ScheduleSync(weak, gameWrapper, true, FullResyncDelaySeconds);
}

void InventorySync::ScheduleSync(std::weak_ptr<InventorySync> weak, GameWrapper& gameWrapper, bool full, float seconds)
{
    gameWrapper.SetTimeout(
        WeakCallback(std::move(weak), "InventorySync::Sync", [full](InventorySync& self, GameWrapper*) { self.Sync(full); }),
        seconds);
}

void InventorySync::OnEnabledChanged(bool oldValue, bool newValue) const
{
    if (oldValue == newValue) {
        return;
    }
    const std::string url = fmt::format(fmt::runtime(feature_.api->toggleSyncUrl), newValue ? "1" : "0");
    HttpWrapper::SendCurlJsonRequest(
        feature_.api->BuildRequest(url, {}, "GET"),
        WeakCallback(weak_from_this(), "InventorySync::HandleToggleResponse",
                     [newValue](const InventorySync& self, int status, const std::string& body) {
                         self.HandleToggleResponse(status, body, newValue);
                     }));
}

void InventorySync::HandleToggleResponse(int status, const std::string& body, bool switchedOn) const
{
    feature_.HandleResponse(ToggleTexts, status, body, [&] {
        feature_.ShowToast(switchedOn ? "Inventory sync toggled on" : "Inventory sync toggled off", 0, 3.0f);
        LogText("Synced inventory.");
        Log("status: {}, response:\n {}", status, ConsoleText(body));
    });
}

}  // namespace quorvex
