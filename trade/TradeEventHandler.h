#pragma once
// Turns the trade capture's events into two service calls. TradeStart: asks the service about the
// partner, tells the player the answer in a toast and, for a partner banned for scamming, raises
// TradeScammer on the game thread (the plug-in answers it with a warning dialog). TradeEnd: uploads
// the whole trade record to the service's trade log. "qvx_scamcheck_enable" and
// "qvx_tradesync_enable" switch the two calls.
//
//   auto handler = TradeEventHandler::Create(dispatcher, gameWrapper, api, storage);
//
// Threads:
// - Game thread: Create, OnTradeStart and OnTradeEnd (inside the dispatch of the trade capture's
//   events), and the task that dispatches TradeScammer.
// - HTTP completion thread: the two response handlers. They post toasts directly (the dispatcher
//   locks internally) and hand TradeScammer to the game thread with Execute.
// The switches are atomics the host's cvar binding writes; they are only read here. Callbacks
// hold a weak reference and do nothing once the handler is gone.
#include <atomic>
#include <memory>
#include <string>

#include "host/GameWrapper.h"
#include "trade/TradeEvents.h"

namespace quorvex {

class PersistentStorage;
class PluginEventDispatcher;
class QvxApi;

class TradeEventHandler : public std::enable_shared_from_this<TradeEventHandler> {
    struct CreateKey {};

public:
    static constexpr const char* ScamCheckCvar = "qvx_scamcheck_enable";
    static constexpr const char* TradeSyncCvar = "qvx_tradesync_enable";

    // Registers the two switches and listens for TradeStart and TradeEnd. Game thread.
    static std::shared_ptr<TradeEventHandler> Create(std::shared_ptr<PluginEventDispatcher> dispatcher,
                                                     std::shared_ptr<GameWrapper> gameWrapper,
                                                     std::shared_ptr<QvxApi> api,
                                                     std::shared_ptr<PersistentStorage> storage);
    TradeEventHandler(CreateKey, std::shared_ptr<PluginEventDispatcher> dispatcher,
                      std::shared_ptr<GameWrapper> gameWrapper, std::shared_ptr<QvxApi> api,
                      std::shared_ptr<PersistentStorage> storage);
    TradeEventHandler(const TradeEventHandler&) = delete;
    TradeEventHandler& operator=(const TradeEventHandler&) = delete;

    // Sends the partner check, unless switched off.
    void OnTradeStart(const TradeStart& event) const;
    // Uploads the trade record, unless switched off.
    void OnTradeEnd(const TradeEnd& event) const;

private:
    void HandleValidateTraderResponse(int status) const;
    void HandleTradeLogResponse(int status) const;
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
};

}  // namespace quorvex
