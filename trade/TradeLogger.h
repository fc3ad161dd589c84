#pragma once
// Watches the game's trade lobby through three engine functions and announces each trade to the
// rest of the plug-in: TradeStart (partner id only) when the lobby opens, TradeEnd (both sides'
// items and currency, the trade's GUID, start and end time) when the trade completes. It never
// talks to the service; TradeEventHandler reacts to its events.
//
//   auto logger = TradeLogger::Create(gameWrapper, dispatcher);
//
// In a normal trade the game calls HandleAcceptedInviteToTrade (the lobby opened: stamp the start,
// post TradeStart), SendTradeToBackEnd (take the snapshot of both offers) and
// HandleTradePlayerComplete (stamp the end, post TradeEnd). Out-of-order calls are taken as they
// come: a completion without a snapshot posts what is there.
//
// Threads: everything runs on the game thread, inside the host's hook callbacks; the members are
// touched only there, so nothing is locked. Dispatching is synchronous, so the listeners run before
// the hook returns. The hooks hold a weak reference and do nothing once the object is gone.
#include <cstdint>
#include <memory>

#include "host/GameWrapper.h"
#include "trade/TradeEvents.h"

namespace quorvex {

class PluginEventDispatcher;

class TradeLogger : public std::enable_shared_from_this<TradeLogger> {
    struct CreateKey {};

public:
    static constexpr const char* TradeAcceptedHook = "Function TAGame.GFxData_TradeLobby_TA.HandleAcceptedInviteToTrade";
    static constexpr const char* TradeSentHook = "Function TAGame.GFxData_TradeLobby_TA.SendTradeToBackEnd";
    static constexpr const char* TradeCompletedHook = "Function TAGame.GFxData_TradeLobby_TA.HandleTradePlayerComplete";

    // Hooks the three lobby functions. Game thread.
    static std::shared_ptr<TradeLogger> Create(std::shared_ptr<GameWrapper> gameWrapper,
                                               std::shared_ptr<PluginEventDispatcher> dispatcher);
    TradeLogger(CreateKey, std::shared_ptr<GameWrapper> gameWrapper, std::shared_ptr<PluginEventDispatcher> dispatcher);
    TradeLogger(const TradeLogger&) = delete;
    TradeLogger& operator=(const TradeLogger&) = delete;

    // The lobby opened: stamps the start and posts TradeStart when the host gives the trade.
    void OnTradeStart();
    // The trade completed: stamps the end and posts TradeEnd with the latest snapshot.
    void OnTradeFinish();
    // Both offers, both ids, the GUID and the start time of the trade now in the lobby; the empty
    // record when the host gives no trade.
    TradeDetails GetTradeDetails() const;

private:
    void HookTradeStart();
    void HookTradeFinish();
    // The open trade, or a null wrapper when the host has no items store or no trade.
    TradeWrapper GetTrade() const;

    std::shared_ptr<GameWrapper> gameWrapper_;
    // 100-nanosecond ticks since 1970-01-01 UTC.
    std::int64_t tradeStartTicks_ = 0;
    std::int64_t tradeEndTicks_ = 0;
    // The current (or latest) trade; kept after a completion until the next start.
    TradeDetails details_;
    std::shared_ptr<PluginEventDispatcher> dispatcher_;
};

}  // namespace quorvex
