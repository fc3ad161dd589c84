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
// Work is split so the game thread only does what needs the host: the gate and cooldown, reading
// the owned products and the request headers. Reading and diffing the snapshot, writing request
// bodies and writing the snapshot run on the executor, one sync after another; what the service
// and the console see, and in which order, is the same as if all ran on the game thread.
//
// Threads:
// - Game thread: Create, Sync, the hooks, the debounce and start-up timers, OnEnabledChanged.
//   `lastChange_` is touched only there.
// - Executor: building and sending a sync request, writing the snapshot. Its tasks hold no strong
//   reference to the object: they check a weak one, work on data handed to them, and do nothing
//   once the object is gone.
// - HTTP completion thread: HandleSyncResponse, HandleToggleResponse.
// - Any thread (the settings page draws on its own): GetSyncStatus, NextSyncAllowedAt.
// Shared state is the sync feature's (an atomic switch and an atomic cooldown end); the snapshot
// file is written only by the executor's tasks, which run one at a time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "api/SyncFeature.h"
#include "core/Clock.h"
#include "core/Executor.h"
#include "host/GameWrapper.h"
#include "host/HttpWrapper.h"
#include "inventory/InventorySnapshot.h"
#include "inventory/ProductData.h"

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
// with a string "guid" and a boolean "full". Any thread.
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
    // Waits for the executor's task in progress; tasks still queued do nothing.
    ~InventorySync();
    InventorySync(const InventorySync&) = delete;
    InventorySync& operator=(const InventorySync&) = delete;

    // Starts an upload now: a full one when `full` or when there is no snapshot, else a diff.
    // Returns whether a request is on its way (false: the gate refused, or the host could not
    // give the inventory). Game thread.
    bool Sync(bool full);

    SyncStatus GetSyncStatus() const;
    SystemTime NextSyncAllowedAt() const;
    const InventorySnapshot& Snapshot() const { return snapshot_; }

private:
    // The product object's address sits at this offset of the hook's parameter block.
    static constexpr std::size_t RemovedProductOffset = 8;
    static constexpr std::size_t ReceivedProductOffset = 0;

    void OnProductChanged(const void* params, std::size_t productOffset, const char* change);
    void OnInventoryChanged();
    void OnEnabledChanged(bool oldValue, bool newValue) const;
    void HandleSyncResponse(int status, const std::string& body,
                            const std::shared_ptr<const std::vector<ProductData>>& items, bool wasFull);
    void HandleToggleResponse(int status, const std::string& body, bool switchedOn) const;

    // Executor: sends the sync request; a snapshot that cannot be used turns a diff into a full sync.
    static void BuildAndSend(const std::weak_ptr<InventorySync>& weak, const InventorySnapshot& snapshot,
                             const std::string& smartSyncUrl, bool full, std::vector<ProductData> items,
                             CurlRequest request);
    // Executor: stores an accepted upload, then follows a request for a full resync.
    static void StoreAcceptedUpload(const std::weak_ptr<InventorySync>& weak, const InventorySnapshot& snapshot,
                                    GameWrapper& gameWrapper, const std::string& guid,
                                    const std::vector<ProductData>& items, bool wasFull, bool wantsFull);
    static void ScheduleSync(std::weak_ptr<InventorySync> weak, GameWrapper& gameWrapper, bool full, float seconds);

    SyncFeature feature_;
    std::shared_ptr<PersistentStorage> storage_;
    std::shared_ptr<GameWrapper> gameWrapper_;
    InventorySnapshot snapshot_;
    // Counts accepted inventory changes; a debounce timer acts only if none came after its own.
    std::uint64_t lastChange_ = 0;
    // Last, so it is destroyed (and its worker joined) before anything else goes.
    std::unique_ptr<Executor> executor_;
};

}  // namespace quorvex
