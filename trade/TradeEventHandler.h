#pragma once
// Turns the trade capture's events into two service calls. TradeStart: asks the service about the
// partner, tells the player the answer in a toast and, for a partner banned for scamming, raises
// TradeScammer on the game thread (the plug-in answers it with a warning dialog). TradeEnd: uploads
// the whole trade record to the service's trade log. "qvx_scamcheck_enable" and
// "qvx_tradesync_enable" switch the two calls.
//
//   auto handler = TradeEventHandler::Create(dispatcher, gameWrapper, api, storage,
//                                            std::make_unique<WorkerThreadExecutor>());
//
// Every trade record is kept in the TradeOutbox until the service took it (200) or refused it
// for good. A record that got no answer, 408, 429 or 5xx is sent again, oldest first, after the
// growing waits of RetryBackoff, after any 200 and at every load; the outbox's file is read and
// written on the executor. A write that finds the file held by another program for a moment is
// tried again, with the records kept then (core/HeldFileRetry.h).
//
// Threads:
// - Game thread: Create, OnTradeStart and OnTradeEnd (inside the dispatch of the trade capture's
//   events), and the task that dispatches TradeScammer.
// - Game thread, too: FlushOutbox (from the load, a retry timer or after a 200), which builds
//   requests and so needs the host.
// - HTTP completion thread: the two response handlers. They post toasts directly (the dispatcher
//   locks internally) and hand TradeScammer and the outbox's next send to the game thread with
//   Execute.
// - Executor: reading and writing the outbox's file; its console lines and its hand-over to the
//   game thread (a retry's timer included) run under the gate the destructor closes. The retry's
//   timer fires on the game thread and posts the write again; the retry state is touched only
//   by the executor's tasks, one after another.
// The switches are atomics that follow their cvars (core/CvarBinding.h); they are only read
// here. The outbox has its own lock; the delivery state (backoff, a send or a retry pending) is guarded by
// deliveryMutex_. Callbacks hold a weak reference and do nothing once the handler is gone.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "api/RetryBackoff.h"
#include "core/Executor.h"
#include "core/HeldFileRetry.h"
#include "host/GameWrapper.h"
#include "trade/TradeEvents.h"
#include "trade/TradeOutbox.h"

namespace quorvex {

class PersistentStorage;
class PluginEventDispatcher;
class QvxApi;

class TradeEventHandler : public std::enable_shared_from_this<TradeEventHandler> {
    struct CreateKey {};

public:
    static constexpr const char* ScamCheckCvar = "qvx_scamcheck_enable";
    static constexpr const char* TradeSyncCvar = "qvx_tradesync_enable";

    // Registers the two switches, listens for TradeStart and TradeEnd, and reads the outbox (on
    // the executor) to send what it kept. Game thread.
    static std::shared_ptr<TradeEventHandler> Create(std::shared_ptr<PluginEventDispatcher> dispatcher,
                                                     std::shared_ptr<GameWrapper> gameWrapper,
                                                     std::shared_ptr<QvxApi> api,
                                                     std::shared_ptr<PersistentStorage> storage,
                                                     std::unique_ptr<Executor> executor);
    TradeEventHandler(CreateKey, std::shared_ptr<PluginEventDispatcher> dispatcher,
                      std::shared_ptr<GameWrapper> gameWrapper, std::shared_ptr<QvxApi> api,
                      std::shared_ptr<PersistentStorage> storage, std::unique_ptr<Executor> executor);
    // Closes the gate; never waits on the outbox's file.
    ~TradeEventHandler();
    TradeEventHandler(const TradeEventHandler&) = delete;
    TradeEventHandler& operator=(const TradeEventHandler&) = delete;

    // Sends the partner check, unless switched off.
    void OnTradeStart(const TradeStart& event) const;
    // Keeps and uploads the trade record, unless switched off.
    void OnTradeEnd(const TradeEnd& event);
    // Sends the oldest kept record unless one is on its way or a retry is waiting. Game thread.
    void FlushOutbox();

    const TradeOutbox& Outbox() const { return shared_->outbox; }

private:
    void HandleValidateTraderResponse(int status) const;
    void SendTradeLog(const TradeOutbox::Record& record, bool fromOutbox);
    // `asked`: the wait a 429 or 503 asked for (RetryAfter.h), which replaces the next retry wait.
    void HandleTradeLogResponse(int status, std::optional<std::chrono::seconds> asked, const TradeOutbox::Record& record,
                                bool fromOutbox);
    // Writes the outbox's file on the executor; `retry`: from the retry timer.
    void SaveOutbox(bool retry = false);
    void OnScammerDetected() const;
    void ShowToast(const std::string& text, int toastType, float seconds) const;
    void Send(const std::string& url, const std::string& body, void (TradeEventHandler::*handle)(int) const,
              const char* where) const;

    std::shared_ptr<PluginEventDispatcher> dispatcher_;
    std::shared_ptr<GameWrapper> gameWrapper_;
    std::shared_ptr<QvxApi> api_;
    std::shared_ptr<PersistentStorage> storage_;
    const std::shared_ptr<std::atomic<bool>> tradeSyncEnabled_;
    const std::shared_ptr<std::atomic<bool>> scamCheckEnabled_;

    // What the executor's tasks work with; shared so a task left behind at destruction has it.
    struct Shared {
        explicit Shared(const std::filesystem::path& dataFolder) : outbox(dataFolder) {}
        TradeOutbox outbox;
        OwnerGate gate;
        HeldFileRetry outboxRetry;  // executor only
    };
    const std::shared_ptr<Shared> shared_;

    std::mutex deliveryMutex_;  // guards the four members below
    RetryBackoff backoff_;
    bool outboxSending_ = false;  // a kept record's send is on its way
    bool retryWaiting_ = false;   // a retry timer is pending
    std::uint64_t retryTimer_ = 0;  // the pending retry timer's number; a 200 cancels it

    // Last, so it goes before anything else.
    std::unique_ptr<Executor> executor_;
};

}  // namespace quorvex
