#pragma once
// Keeps the service's copy of the player's inventory in step with the game. Product hooks mark
// the inventory as changed; once it has been quiet for 5 seconds, the whole item list (full sync)
// or the changes since the last upload the service accepted (diff sync, against the snapshot) are
// uploaded, at most once per 10-second cooldown. Also tells the service when the player switches
// the feature on or off, and follows the service's request for a full resync.
//
//   auto sync = InventorySync::Create(api, storage, dispatcher, gameWrapper,
//                                     std::make_unique<WorkerThreadExecutor>());
//
// Convergence: a change is never dropped for the cooldown (it is synced when the cooldown ends,
// after the 5 quiet seconds), a sync follows when syncing becomes possible again (user code set,
// feature switched on), a failed upload is tried again after growing waits (UploadProgress), and
// once the service asked for a full sync, or its answer cannot be used, the snapshot is removed so
// that no later diff, in this run or the next, trusts a base the service never accepted.
//
// Work is split so the game thread only does what needs the host: the gate and cooldown, reading
// the owned products and the request headers. Reading and diffing the snapshot, writing request
// bodies and writing the snapshot run on the executor, one task after another; toggle requests go
// through it too, so every request reaches the host in the order the game thread made it.
//
// Threads:
// - Game thread: Create, Sync, the hooks, the debounce, retry, resync and start-up timers,
//   OnEnabledChanged, the user-code reaction. `lastChange_` and `syncedChange_` are touched only
//   there.
// - Executor: building and sending requests, writing and removing the snapshot. Its tasks hold no
//   strong reference to the object: they check a weak one, work on data handed to them, and log,
//   send or set timers only under `gate_`, which the destructor closes first, so nothing of theirs
//   is seen once destruction has begun (a task stuck on a file is left behind, see Executor).
// - HTTP completion thread: HandleSyncResponse, HandleToggleResponse.
// - Any thread (the settings page draws on its own): GetSyncStatus, NextSyncAllowedAt.
// Shared state is the sync feature's (atomics) and `progress_` (its own mutex); the snapshot file
// is written only by the executor's tasks, which run one at a time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "api/SyncFeature.h"
#include "core/Clock.h"
#include "core/Executor.h"
#include "host/GameWrapper.h"
#include "host/HttpWrapper.h"
#include "inventory/InventorySnapshot.h"
#include "inventory/ProductData.h"
#include "inventory/UploadProgress.h"

namespace quorvex {

class PersistentStorage;
class PluginEventDispatcher;
class QvxApi;

// What the service answers to an accepted upload.
struct SyncAnswer {
    std::string guid;
    bool wantsFull;
};

// Reads the body of a 200 answer. Empty, with the reason logged, when it is not a JSON object
// with a string "guid" the URL can carry (GuidProblem) and a boolean "full". Any thread.
std::optional<SyncAnswer> ReadSyncAnswer(const std::string& body);

class InventorySync : public std::enable_shared_from_this<InventorySync> {
    struct CreateKey {};

public:
    static constexpr const char* EnableCvar = "qvx_inventorysync_enable";
    static constexpr const char* ProductRemovedHook = "Function TAGame.Profile_TA.HandleRemovedOnlineProduct";
    static constexpr const char* ProductReceivedHook = "Function TAGame.SaveData_TA.OnNewOnlineProduct";
    static constexpr const char* ProductReceivedSilentlyHook = "Function TAGame.SaveData_TA.OnNewOnlineProductNoNotify";
    static constexpr float StartupDelaySeconds = 5.0f;
    static constexpr float QuietSeconds = 5.0f;
    // Longer than the cooldown that the answered request started, so the resync passes the gate.
    static constexpr float FullResyncDelaySeconds = 10.1f;

    // Registers the enable cvar, the product hooks and the start-up sync 5 s from now. Game thread.
    static std::shared_ptr<InventorySync> Create(std::shared_ptr<QvxApi> api,
                                                 std::shared_ptr<PersistentStorage> storage,
                                                 std::shared_ptr<PluginEventDispatcher> dispatcher,
                                                 std::shared_ptr<GameWrapper> gameWrapper,
                                                 std::unique_ptr<Executor> executor);
    InventorySync(CreateKey, std::shared_ptr<QvxApi> api, std::shared_ptr<PersistentStorage> storage,
                  std::shared_ptr<PluginEventDispatcher> dispatcher, std::shared_ptr<GameWrapper> gameWrapper,
                  std::unique_ptr<Executor> executor);
    // Closes the gate (waiting only for a log line or a hand-over to the host in progress), then
    // lets the executor go without waiting on its I/O.
    ~InventorySync();
    InventorySync(const InventorySync&) = delete;
    InventorySync& operator=(const InventorySync&) = delete;

    // Starts an upload now: a full one when `full`, when there is no snapshot or when a full sync
    // is required, else a diff. Returns whether a request is on its way (false: the gate refused,
    // or the host could not give the inventory, which is tried again later). Game thread.
    bool Sync(bool full);

    SyncStatus GetSyncStatus() const;
    SteadyTime NextSyncAllowedAt() const;
    const InventorySnapshot& Snapshot() const { return shared_->snapshot; }

private:
    // The product object's address sits at this offset of the hook's parameter block.
    static constexpr std::size_t RemovedProductOffset = 8;
    static constexpr std::size_t ReceivedProductOffset = 0;

    void OnProductChanged(const void* params, std::size_t productOffset, const char* change);
    // Marks the inventory changed: synced once it has been quiet for 5 s and the cooldown is over.
    void OnInventoryChanged();
    // The 5 quiet seconds after `change` are over: sync now, or when the cooldown ends.
    void SyncPendingChange(std::uint64_t change);
    void OnEnabledChanged(bool oldValue, bool newValue);
    void OnUserCodeChanged(const std::string& oldCode, const std::string& newCode);
    void HandleSyncResponse(int status, const std::string& body,
                            const std::shared_ptr<const std::vector<ProductData>>& items, bool wasFull,
                            std::uint64_t upload);
    void HandleAcceptedUpload(const std::string& body, const std::shared_ptr<const std::vector<ProductData>>& items,
                              bool wasFull, std::uint64_t upload);
    void HandleToggleResponse(int status, const std::string& body, bool switchedOn) const;
    // After a failed upload (or an inventory the host could not give): the latest upload is tried
    // again after the next wait. Any thread.
    // `asked`: the wait the service asked for (RetryAfter.h); no upload goes before it ends.
    void ScheduleRetry(std::uint64_t upload, bool wasFull, std::optional<std::chrono::seconds> asked = std::nullopt);

    // What the executor's tasks work with; shared so a task left behind at destruction still has it.
    struct Shared {
        Shared(InventorySnapshot file, std::shared_ptr<GameWrapper> game, std::string url)
            : snapshot(std::move(file)), gameWrapper(std::move(game)), smartSyncUrl(std::move(url))
        {
        }
        InventorySnapshot snapshot;
        std::shared_ptr<GameWrapper> gameWrapper;
        std::string smartSyncUrl;
        OwnerGate gate;
        UploadProgress progress;
    };

    // Executor: sends the sync request; a snapshot that cannot be used turns a diff into a full sync.
    static void BuildAndSend(const std::weak_ptr<InventorySync>& weak, Shared& shared, bool full,
                             std::uint64_t upload, std::vector<ProductData> items, CurlRequest request);
    // Executor: stores an accepted upload, or removes the snapshot when the service wants a full
    // sync, then follows that request.
    static void StoreAcceptedUpload(const std::weak_ptr<InventorySync>& weak, Shared& shared, const std::string& guid,
                                    const std::vector<ProductData>& items, bool wasFull, bool wantsFull,
                                    std::uint64_t upload);
    // Executor: the snapshot may no longer serve as a diff's base.
    static void RemoveSnapshot(Shared& shared, const char* why);
    // Syncs `seconds` from now unless another upload than `upload` went out meanwhile.
    static void ScheduleSync(std::weak_ptr<InventorySync> weak, GameWrapper& gameWrapper, bool full, float seconds,
                             std::uint64_t upload);

    SyncFeature feature_;
    std::shared_ptr<PersistentStorage> storage_;
    std::shared_ptr<GameWrapper> gameWrapper_;
    const std::shared_ptr<Shared> shared_;
    // Counts accepted inventory changes; a debounce timer acts only if none came after its own.
    std::uint64_t lastChange_ = 0;
    // The change count when the latest upload read the inventory: changes up to it are on their way.
    std::uint64_t syncedChange_ = 0;
    // The cooldown end for which "changed during the cooldown" was logged, in clock ticks.
    SteadyTime::rep cooldownNoticed_ = 0;
    // Last, so it goes before anything else.
    std::unique_ptr<Executor> executor_;
};

}  // namespace quorvex
