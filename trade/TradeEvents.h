#pragma once
// One trade as the trade capture sees it (TradeDetails, with a TradeSide per player), and the two
// events that carry it through the PluginEventDispatcher: TradeStart when the trade lobby opens,
// TradeEnd when the trade completes.
//
// Threads: plain values. The trade capture builds and dispatches them on the game thread; each
// event carries its own copy, so no listener shares state with the capture.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/Events.h"
#include "host/GameData.h"
#include "inventory/ProductData.h"

namespace quorvex {

// What one player gives in a trade.
struct TradeSide {
    // The player's unique id text ("Platform|AccountId|SplitscreenId").
    std::string id;
    // In the host's order, every offered product.
    std::vector<ProductData> items;
    // In the host's order, copied as they are.
    std::vector<TradeWrapper::Currency> currency;
};

struct TradeDetails {
    // The local player: what the local player sends.
    TradeSide local;
    // The partner: what the local player receives.
    TradeSide remote;
    std::string tradeGuid;
    // Unix seconds, truncated; 0 when unknown.
    std::uint64_t tradeStart = 0;
    std::uint64_t tradeEnd = 0;
};

// The trade lobby opened; only remote.id is known yet.
struct TradeStart : EventBase {
    explicit TradeStart(TradeDetails trade) : EventBase(EventType::TradeStart), details(std::move(trade)) {}

    TradeDetails details;
};

// The trade completed; carries the snapshot taken when it was sent, with both times.
struct TradeEnd : EventBase {
    explicit TradeEnd(TradeDetails trade) : EventBase(EventType::TradeEnd), details(std::move(trade)) {}

    TradeDetails details;
};

}  // namespace quorvex
