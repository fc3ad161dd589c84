#include "inventory/InventorySync.h"

#include "api/RetryAfter.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <stdexcept>
#include <utility>

#include <nlohmann/json.hpp>

#include "api/QvxApi.h"
#include "api/RetryAfter.h"
#include "api/Texts.h"
#include "core/Boundary.h"
#include "core/CvarText.h"
#include "core/Log.h"
#include "core/PathText.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/SafeText.h"
#include "core/WeakCallback.h"
#include "inventory/GuidCheck.h"
#include "host/CVarWrapper.h"
#include "inventory/Texts.h"

namespace quorvex {
namespace {

constexpr const char* RequestText = "the inventory sync request";

}  // namespace

std::optional<SyncAnswer> ReadSyncAnswer(const std::string& body)
{
    const auto answer = nlohmann::json::parse(body, nullptr, false);
    std::string problem;
    if (answer.is_discarded()) {
        problem = "not JSON";
    } else if (!answer.is_object() || !answer.contains("guid") || !answer["guid"].is_string()) {
        problem = "no string \"guid\"";
    } else if (!answer.contains("full") || !answer["full"].is_boolean()) {
        problem = "no boolean \"full\"";
    } else {
        problem = GuidProblem(answer["guid"].get_ref<const std::string&>());
    }
    if (!problem.empty()) {
        Log("Inventory sync answer has {}; the next sync is a full one", problem);
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

    CVarWrapper cvar = sync->feature_.RegisterEnableCvar(*sync->storage_, EnableCvar, texts::inventory::EnableCvarDescription);
    if (cvar) {
        cvar.addOnValueChanged(WeakCallback(
            weak, "InventorySync::OnEnabledChanged",
            [weak](InventorySync& self, const std::string& oldText, const CVarWrapper& changed) {
                const bool newValue = changed.getBoolValue();
                const bool oldValue = CvarTextToBool(oldText);
                self.gameWrapper_->Execute(WeakCallback(weak, "InventorySync::OnEnabledChanged",
                                                        [oldValue, newValue](InventorySync& target, GameWrapper*) {
                                                            target.OnEnabledChanged(oldValue, newValue);
                                                        }));
            }));
    }
    // The user code changes on the WebSocket thread, too: the reaction runs on the game thread.
    sync->feature_.dispatcher->AddEventListener<UserCodeChanged>(
        EventType::UserCodeChanged, [weak](const UserCodeChanged& change) {
            if (auto self = weak.lock()) {
                self->gameWrapper_->Execute(WeakCallback(weak, "InventorySync::OnUserCodeChanged",
                                                         [change](InventorySync& target, GameWrapper*) {
                                                             target.OnUserCodeChanged(change.previous, change.current);
                                                         }));
            }
        });

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

    ScheduleSync(weak, game, false, StartupDelaySeconds, 0);
    return sync;
}

InventorySync::InventorySync(CreateKey, std::shared_ptr<QvxApi> api, std::shared_ptr<PersistentStorage> storage,
                             std::shared_ptr<PluginEventDispatcher> dispatcher,
                             std::shared_ptr<GameWrapper> gameWrapper, std::unique_ptr<Executor> executor)
    : feature_(std::move(api), std::move(dispatcher)),
      storage_(std::move(storage)),
      gameWrapper_(std::move(gameWrapper)),
      shared_(std::make_shared<Shared>(InventorySnapshot(gameWrapper_->GetDataFolder()), gameWrapper_,
                                       feature_.api->smartSyncUrl)),
      executor_(std::move(executor))
{
}

InventorySync::~InventorySync()
{
    shared_->gate.Close();
}

SyncStatus InventorySync::GetSyncStatus() const
{
    return feature_.GetSyncStatus();
}

SteadyTime InventorySync::NextSyncAllowedAt() const
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
    const SyncStatus status = GetSyncStatus();
    if (status == SyncStatus::NoUserCode || status == SyncStatus::Disabled) {
        return;  // the sync that follows the user code or the switch carries it
    }
    const SteadyTime::rep cooldownEnd = NextSyncAllowedAt().time_since_epoch().count();
    if (status == SyncStatus::CoolingDown && cooldownNoticed_ != cooldownEnd) {
        cooldownNoticed_ = cooldownEnd;
        LogText("Inventory changed during the cooldown; syncing when it ends");
    }
    const std::uint64_t change = ++lastChange_;
    gameWrapper_->SetTimeout(WeakCallback(weak_from_this(), "InventorySync::OnInventoryChanged",
                                          [change](InventorySync& self, GameWrapper*) {
                                              if (self.lastChange_ != change) {
                                                  LogText(texts::inventory::ChangedDuringWaitLine);
                                                  return;
                                              }
                                              self.SyncPendingChange(change);
                                          }),
                             QuietSeconds);
}

void InventorySync::SyncPendingChange(std::uint64_t change)
{
    if (lastChange_ != change || syncedChange_ >= change) {
        return;  // a newer change waits its own quiet time, or an upload since has carried this one
    }
    const auto wait = NextSyncAllowedAt() - Clock::SteadyNow();
    if (GetSyncStatus() == SyncStatus::CoolingDown && wait > SteadyTime::duration::zero()) {
        // Rounded up, so the timer never falls due just before the cooldown ends.
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(wait);
        gameWrapper_->SetTimeout(WeakCallback(weak_from_this(), "InventorySync::SyncPendingChange",
                                              [change](InventorySync& self, GameWrapper*) {
                                                  self.SyncPendingChange(change);
                                              }),
                                 static_cast<float>(milliseconds.count()) / 1000.0f);
        return;
    }
    LogText(texts::inventory::SyncingLine);
    Sync(false);
}

bool InventorySync::Sync(bool full)
{
    LogText(texts::inventory::AttemptingLine);
    if (!shared_->snapshot.Exists()) {
        full = true;
    }
    const SyncStatus status = GetSyncStatus();
    if (status != SyncStatus::Ready) {
        Log(texts::inventory::UnableToSyncLine, static_cast<int>(status));
        return false;
    }
    feature_.StartCooldown();

    std::vector<ProductData> items;
    try {
        items = GetCurrentItems(*gameWrapper_);
    } catch (const std::runtime_error& error) {
        LogException("InventorySync::Sync", error);
        ScheduleRetry(shared_->progress.LatestUpload(), true);
        return false;
    }
    full = full || shared_->progress.FullRequired();
    const std::uint64_t upload = shared_->progress.StartUpload();
    syncedChange_ = lastChange_;
    // The headers need the host; the body is written on the executor.
    CurlRequest request = feature_.api->BuildRequest({}, {});
    executor_->Post(WeakTask(weak_from_this(), "InventorySync::Sync",
                             [weak = weak_from_this(), shared = shared_, full, upload, items = std::move(items),
                              request = std::move(request)]() mutable {
                                 BuildAndSend(weak, *shared, full, upload, std::move(items), std::move(request));
                             }));
    return true;
}

void InventorySync::BuildAndSend(const std::weak_ptr<InventorySync>& weak, Shared& shared, bool full,
                                 std::uint64_t upload, std::vector<ProductData> items, CurlRequest request)
{
    if (!full) {
        try {
            const InventoryDiff diff = shared.snapshot.ComputeDiff(items);
            if (const std::string problem = GuidProblem(diff.previousGuid); !problem.empty()) {
                throw std::runtime_error(problem);
            }
            request.url = shared.smartSyncUrl + texts::inventory::DiffSyncQuery + diff.previousGuid;
            request.body = DumpDiffBody(diff, RequestText);
        } catch (const std::exception& error) {
            shared.gate.RunWhileOpen([&] {
                Log("Inventory snapshot {} cannot be used ({}); sending a full sync instead",
                    PathText(shared.snapshot.File()), error.what());
            });
            full = true;
        }
    }
    if (full) {
        request.url = shared.smartSyncUrl + texts::inventory::FullSyncQuery;
        request.body = DumpProducts(items, -1, 0, RequestText);
    }

    // The accepted list becomes the next snapshot; the answer and the write share it.
    auto accepted = std::make_shared<const std::vector<ProductData>>(std::move(items));
    shared.gate.RunWhileOpen([&] {
        Log(texts::inventory::RequestingLine, full ? texts::inventory::FullSyncKind : texts::inventory::DiffSyncKind, request.url);
        HttpWrapper::SendCurlJsonRequest(
            std::move(request),
            WeakCallback(weak, "InventorySync::HandleSyncResponse",
                         [accepted = std::move(accepted), full, upload](InventorySync& self, int status,
                                                                        const std::string& body) {
                             self.HandleSyncResponse(status, body, accepted, full, upload);
                         }));
    });
}

void InventorySync::HandleSyncResponse(int status, const std::string& body,
                                       const std::shared_ptr<const std::vector<ProductData>>& items, bool wasFull,
                                       std::uint64_t upload)
{
    feature_.HandleResponse(
        texts::inventory::SyncResponse, status, body, [&] { HandleAcceptedUpload(body, items, wasFull, upload); },
        FailureToasts::OncePerOutage);
    if (status != 200 && status != 401) {
        ScheduleRetry(upload, wasFull, ReadRetryAfter(status, body, Clock::Now()));
    }
}

void InventorySync::HandleAcceptedUpload(const std::string& body,
                                         const std::shared_ptr<const std::vector<ProductData>>& items, bool wasFull,
                                         std::uint64_t upload)
{
    feature_.ShowToast(texts::inventory::SyncedToast, 0, 3.0f);
    LogText(texts::inventory::SyncedLine);
    Log(texts::api::SyncedStatusLine, 200, ConsoleText(body));
    const auto answer = ReadSyncAnswer(KeptBody(body));
    if (!answer) {
        // Whatever the service now holds, no guid names it: only a full sync can tell it again.
        shared_->progress.RequireFull();
        if (shared_->progress.ClaimSnapshot(upload)) {
            executor_->Post(WeakTask(weak_from_this(), "InventorySync::HandleSyncResponse", [shared = shared_] {
                RemoveSnapshot(*shared, "the service's answer cannot be used");
            }));
        }
        ScheduleRetry(upload, wasFull);
        return;
    }
    Log(texts::inventory::GotGuidLine, answer->guid);
    shared_->progress.Answered();
    if (answer->wantsFull) {
        shared_->progress.RequireFull();
    }
    if (!shared_->progress.ClaimSnapshot(upload)) {
        LogText("Inventory sync answer to an older upload; the inventory snapshot is kept");
        return;
    }
    executor_->Post(WeakTask(weak_from_this(), "InventorySync::HandleSyncResponse",
                             [weak = weak_from_this(), shared = shared_, guid = answer->guid, items, wasFull,
                              wantsFull = answer->wantsFull, upload] {
                                 StoreAcceptedUpload(weak, *shared, guid, *items, wasFull, wantsFull, upload);
                             }));
}

void InventorySync::StoreAcceptedUpload(const std::weak_ptr<InventorySync>& weak, Shared& shared,
                                        const std::string& guid, const std::vector<ProductData>& items, bool wasFull,
                                        bool wantsFull, std::uint64_t upload)
{
    if (wantsFull) {
        // The guid names the service's copy, not this list: a diff against them would be wrong.
        RemoveSnapshot(shared, "the service asked for a full sync");
    } else if (const std::string failure = shared.snapshot.Write(guid, items); !failure.empty()) {
        shared.gate.RunWhileOpen([&] { Log("Could not write the inventory snapshot: {}", failure); });
        shared.progress.RequireFull();
        RemoveSnapshot(shared, "it could not be replaced");
        return;
    } else if (wasFull) {
        shared.progress.FullUploadStored();
    }
    if (!wantsFull) {
        return;
    }
    shared.gate.RunWhileOpen([&] {
        LogText(texts::inventory::FullResyncLine);
        if (wasFull) {
            LogText(texts::inventory::FullResyncAgainLine);
            return;
        }
        ScheduleSync(weak, *shared.gameWrapper, true, FullResyncDelaySeconds, upload);
    });
}

void InventorySync::RemoveSnapshot(Shared& shared, const char* why)
{
    std::error_code error;
    const bool removed = std::filesystem::remove(shared.snapshot.File(), error);
    shared.gate.RunWhileOpen([&] {
        if (error) {
            Log("Could not remove the inventory snapshot ({}): {}", why, error.message());
        } else if (removed) {
            Log("Inventory snapshot removed: {}; the next sync is a full one", why);
        }
    });
}

void InventorySync::ScheduleRetry(std::uint64_t upload, bool wasFull, std::optional<std::chrono::seconds> asked)
{
    if (!shared_->progress.IsLatest(upload)) {
        return;  // a newer upload has carried every change since, and is retried itself if need be
    }
    UploadProgress::Retry retry = shared_->progress.Failed(wasFull);
    if (asked) {
        // Not sooner than the cooldown the failed upload started allows either.
        retry.wait = std::max<std::chrono::seconds>(*asked, SyncFeature::cooldown);
        feature_.HoldBack(retry.wait);
        Log("The service asked to wait {} s before the next inventory sync", asked->count());
    }
    Log("Retrying the inventory sync in {} s{}", retry.wait.count(), retry.full ? " with a full sync" : "");
    ScheduleSync(weak_from_this(), *gameWrapper_, retry.full, static_cast<float>(retry.wait.count()), upload);
}

void InventorySync::ScheduleSync(std::weak_ptr<InventorySync> weak, GameWrapper& gameWrapper, bool full, float seconds,
                                 std::uint64_t upload)
{
    gameWrapper.SetTimeout(WeakCallback(std::move(weak), "InventorySync::Sync",
                                        [full, upload](InventorySync& self, GameWrapper*) {
                                            if (!self.shared_->progress.IsLatest(upload)) {
                                                return;
                                            }
                                            // A host timer a moment early must not lose the try.
                                            if (self.GetSyncStatus() == SyncStatus::CoolingDown) {
                                                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
                                                    self.NextSyncAllowedAt() - Clock::SteadyNow());
                                                ScheduleSync(self.weak_from_this(), *self.gameWrapper_, full,
                                                             static_cast<float>(wait.count()) / 1000.0f, upload);
                                                return;
                                            }
                                            self.Sync(full);
                                        }),
                           seconds);
}

void InventorySync::OnEnabledChanged(bool oldValue, bool newValue)
{
    if (oldValue == newValue) {
        return;
    }
    const std::string url = fmt::format(fmt::runtime(feature_.api->toggleSyncUrl), newValue ? "1" : "0");
    // Through the executor, so it never overtakes an upload started before it.
    executor_->Post(WeakTask(
        weak_from_this(), "InventorySync::OnEnabledChanged",
        [weak = weak_from_this(), shared = shared_, request = feature_.api->BuildRequest(url, {}, "GET"),
         newValue]() mutable {
            shared->gate.RunWhileOpen([&] {
                HttpWrapper::SendCurlJsonRequest(
                    std::move(request),
                    WeakCallback(weak, "InventorySync::HandleToggleResponse",
                                 [newValue](const InventorySync& self, int status, const std::string& body) {
                                     self.HandleToggleResponse(status, body, newValue);
                                 }));
            });
        }));
    if (newValue) {
        LogText("Inventory sync switched on; syncing the inventory");
        OnInventoryChanged();
    }
}

void InventorySync::OnUserCodeChanged(const std::string& oldCode, const std::string& newCode)
{
    if (newCode.empty() || newCode == oldCode) {
        return;
    }
    LogText("User code set; syncing the inventory");
    OnInventoryChanged();
}
void InventorySync::HandleToggleResponse(int status, const std::string& body, bool switchedOn) const
{
    feature_.HandleResponse(texts::inventory::ToggleResponse, status, body, [&] {
        feature_.ShowToast(switchedOn ? texts::inventory::ToggledOnToast : texts::inventory::ToggledOffToast, 0, 3.0f);
        LogText(texts::inventory::SyncedLine);
        Log(texts::api::SyncedStatusLine, status, ConsoleText(body));
    });
}

}  // namespace quorvex
