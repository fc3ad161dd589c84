#pragma once
// Reads the JSON bodies the plug-in sends and checks their shape: every member present with the
// right JSON type and range. A body that does not fit throws BadRequest with a message naming
// the offending member ("addedItems[2].InstanceID must be an unsigned 64-bit integer"); what
// passes comes back normalised (products keep exactly their six members), ready to store.
//
// Threads: pure functions, safe on any thread.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace qvxdev {

class BadRequest : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One owned item: {"Attributes":[{"Key","Value"}],"ID","InstanceID","Quality","SeriesID",
// "TradeHold"}. InstanceID is kept apart too, as the unsigned 64-bit value items match on.
struct Product {
    std::uint64_t instanceId = 0;
    nlohmann::json json;
};

struct InventoryDiff {
    std::string previousGuid;
    std::vector<Product> added;
    std::vector<Product> removed;
};

// Parses a request body; text that is not JSON (or not UTF-8) throws BadRequest.
nlohmann::json ParseBody(const std::string& body);

// smartSync, full upload: an array of products.
std::vector<Product> ReadInventory(const nlohmann::json& body);

// smartSync, diff: {"addedItems": [...], "previousGuid": "...", "removedItems": [...]}.
InventoryDiff ReadInventoryDiff(const nlohmann::json& body);

// loadout: {"loadout_name": "...", "teams": [team, team]} with exactly two teams of
// {"accent_finish_id", "accent_paint_color_id", "items", "primary_finish_id",
// "primary_paint_color_id"}.
nlohmann::json ReadLoadout(const nlohmann::json& body);

// stats: {"playlistID": n}; gives n.
std::int32_t ReadStatsRequest(const nlohmann::json& body);

// logIngameTrade: {"local_data", "remote_data", "trade_end", "trade_guid", "trade_start"}, each
// side {"currency": [{"currency_id", "quantity"}], "id", "items"}.
nlohmann::json ReadTrade(const nlohmann::json& body);

// validateTrader: {"trading_player_id": "..."}; gives the id.
std::string ReadPartnerCheck(const nlohmann::json& body);

}  // namespace qvxdev
