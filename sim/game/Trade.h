#pragma once
// The trade lobby: the partner, what each side offers and the trade's GUID; and the engine
// records of player ids and GUIDs the SDK wrappers point at.
//
// Threads: game thread only; no locks.
#include <cstdint>
#include <string>
#include <vector>

#include "host/GameData.h"
#include "sim/game/Product.h"

namespace sim::game {

// A player's unique net id (UniqueIDWrapper points here).
struct PlayerId {
    std::string idString;  // "Platform|AccountId|SplitscreenId"
};

// A 128-bit GUID as four 32-bit parts (GUIDWrapper points here).
struct Guid {
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    std::uint32_t c = 0;
    std::uint32_t d = 0;
};

// The GUID as text in the engine's formats; UniqueObjectGuid is "AAAAAAAA-BBBBBBBB-CCCCCCCC-
// DDDDDDDD" in upper-case hex.
std::string FormatGuid(const Guid& guid, GUIDWrapper::EGuidFormats format);

// A trade as a scenario or test describes it. "Sending" is what the local player gives.
struct Trade {
    std::string partnerId;
    std::vector<Product> sending;
    std::vector<Product> receiving;
    std::vector<TradeWrapper::Currency> sendingCurrency;
    std::vector<TradeWrapper::Currency> receivingCurrency;
    Guid guid;
};

// The engine object of an open trade (TradeWrapper points here).
class TradeLobby {
public:
    explicit TradeLobby(Trade trade);
    TradeLobby(const TradeLobby&) = delete;
    TradeLobby& operator=(const TradeLobby&) = delete;

    const PlayerId partner;
    const ProductList sending;
    const ProductList receiving;
    const std::vector<TradeWrapper::Currency> sendingCurrency;
    const std::vector<TradeWrapper::Currency> receivingCurrency;
    const Guid guid;
};

}  // namespace sim::game
