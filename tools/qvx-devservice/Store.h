#pragma once
// The service's data in SQLite: the accounts (known user codes), each account's inventory and
// the guid of its last accepted upload, the loadouts, stats requests and trades it sent, the
// partner checks made, and how many requests each endpoint answered with which status.
//
// Inventory bookkeeping: a full upload replaces the account's items and issues a new guid. A
// diff is applied only when it names the current guid (in its body and in its "lastRequest"
// query) and every item it removes is held; otherwise nothing changes and the answer asks for a
// full upload. Items are matched by InstanceID, an unsigned 64-bit number kept as decimal text
// because SQLite's integers are signed; an account may hold several items with one InstanceID,
// as the plug-in's diff counts them. A trade log is stored once per account and "trade_guid".
//
// Threads: every operation may be called from any thread (the HTTP server's pool calls them
// concurrently). One mutex serialises all use of the one SQLite connection, so each operation
// is atomic, and Dump sees a consistent state.
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/qvx-devservice/RequestShapes.h"
#include "tools/qvx-devservice/Sqlite.h"

namespace qvxdev {

// The smartSync answer: {"guid": guid, "full": full}.
struct SyncAnswer {
    std::string guid;
    bool full = false;
    std::string refusal;  // why a diff was not applied (empty when it was)
};

class Store {
public:
    // path: a database file, created when missing and kept across restarts; ":memory:" for a
    // database that lives as long as the object. Throws SqliteError when the file cannot be
    // opened, is not a database, or holds a newer schema.
    explicit Store(const std::string& path);

    // Makes userCode a known account; an account that exists keeps its data.
    void AddAccount(const std::string& userCode);
    bool HasAccount(const std::string& userCode) const;

    // Remembers the platform and player id the plug-in sent with the account's user code.
    void NoteClient(const std::string& userCode, const std::string& platform,
                    const std::string& userId);

    SyncAnswer ReplaceInventory(const std::string& userCode, const std::vector<Product>& items);
    // lastRequest: the request's "lastRequest" query value, none when the query lacks it.
    SyncAnswer ApplyDiff(const std::string& userCode, const InventoryDiff& diff,
                         const std::optional<std::string>& lastRequest);
    // Gives the account a fresh guid, as if another client had synced: the next diff from the
    // plug-in no longer matches. Returns the new guid.
    std::string ExpireGuid(const std::string& userCode);

    void SetSyncEnabled(const std::string& userCode, bool enabled);
    void AddLoadout(const std::string& userCode, const nlohmann::json& loadout);
    void AddStatsRequest(const std::string& userCode, std::int32_t playlistId);
    // Stores a trade log once per "trade_guid" and account: false (and only counted) for a
    // repeat, which a client sends when it never got the answer to the first.
    bool AddTrade(const std::string& userCode, const nlohmann::json& trade);
    void AddPartnerCheck(const std::string& tradingPlayerId, int status);
    void CountRequest(std::string_view endpoint, int status);

    // Empties the data: every account stays known, with no items, no guid, sync on and no
    // records; partner checks and request counts are gone.
    void Reset();

    // {"accounts": {CODE: {"guid", "syncEnabled", "platform", "userId", "items", "loadouts",
    //  "statsRequests", "trades", "repeatedTrades"}}, "partnerChecks": [...],
    //  "requests": {ENDPOINT: {STATUS: n}}}. "items" are the stored products in the plug-in's
    // own form, in the order they came; "trades" hold each trade log once, in the order they
    // came; "repeatedTrades" counts trade logs answered 200 but not stored again.
    nlohmann::json Dump() const;

private:
    std::string CurrentGuid(const std::string& userCode) const;
    std::string NewGuid();
    void InsertItems(const std::string& userCode, const std::vector<Product>& items);
    // The account's rows of table, in the order they came, each column parsed as JSON.
    nlohmann::json JsonColumn(std::string_view column, std::string_view table,
                              const std::string& userCode) const;

    mutable std::mutex mutex_;
    mutable Database database_;
    std::mt19937_64 random_;
};

}  // namespace qvxdev
