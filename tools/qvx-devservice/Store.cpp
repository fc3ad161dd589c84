#include "tools/qvx-devservice/Store.h"

#include <fmt/format.h>

namespace qvxdev {
namespace {

using nlohmann::json;

constexpr std::int64_t SchemaVersion = 2;

constexpr std::string_view Schema = R"sql(
CREATE TABLE IF NOT EXISTS accounts (
    user_code TEXT PRIMARY KEY,
    guid TEXT NOT NULL DEFAULT '',
    sync_enabled INTEGER NOT NULL DEFAULT 1,
    platform TEXT NOT NULL DEFAULT '',
    user_id TEXT NOT NULL DEFAULT '',
    repeated_trades INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS items (
    id INTEGER PRIMARY KEY,
    user_code TEXT NOT NULL REFERENCES accounts(user_code),
    instance_id TEXT NOT NULL,
    product TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS items_by_instance ON items(user_code, instance_id);
CREATE TABLE IF NOT EXISTS loadouts (
    id INTEGER PRIMARY KEY,
    user_code TEXT NOT NULL REFERENCES accounts(user_code),
    loadout TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS stats_requests (
    id INTEGER PRIMARY KEY,
    user_code TEXT NOT NULL REFERENCES accounts(user_code),
    playlist_id INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS trades (
    id INTEGER PRIMARY KEY,
    user_code TEXT NOT NULL REFERENCES accounts(user_code),
    trade TEXT NOT NULL,
    trade_guid TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS trades_by_guid ON trades(user_code, trade_guid);
CREATE TABLE IF NOT EXISTS partner_checks (
    id INTEGER PRIMARY KEY,
    trading_player_id TEXT NOT NULL,
    status INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS request_counts (
    endpoint TEXT NOT NULL,
    status INTEGER NOT NULL,
    count INTEGER NOT NULL,
    PRIMARY KEY (endpoint, status)
);
)sql";

// Schema 1 kept every trade log, repeats included, and no count of repeats.
constexpr std::string_view FromSchema1 = R"sql(
ALTER TABLE accounts ADD COLUMN repeated_trades INTEGER NOT NULL DEFAULT 0;
ALTER TABLE trades ADD COLUMN trade_guid TEXT NOT NULL DEFAULT '';
UPDATE trades SET trade_guid = json_extract(trade, '$.trade_guid');
)sql";

// Everything but the accounts themselves, which the command line or earlier runs made known.
constexpr std::string_view ResetData = R"sql(
DELETE FROM items;
DELETE FROM loadouts;
DELETE FROM stats_requests;
DELETE FROM trades;
DELETE FROM partner_checks;
DELETE FROM request_counts;
UPDATE accounts SET guid = '', sync_enabled = 1, platform = '', user_id = '', repeated_trades = 0;
)sql";

std::string Decimal(std::uint64_t number)
{
    return std::to_string(number);
}

}  // namespace

Store::Store(const std::string& path) : database_(path), random_(std::random_device{}())
{
    std::int64_t version = 0;
    {
        Statement query = database_.Prepare("PRAGMA user_version");
        if (query.Step()) {
            version = query.Integer(0);
        }
    }
    if (version > SchemaVersion) {
        throw SqliteError(fmt::format(
            "{} holds data of a newer qvx-devservice (schema {}, this one reads {})", path, version,
            SchemaVersion));
    }
    database_.Execute("PRAGMA foreign_keys = ON");
    // A file survives a crash of this process with WAL and NORMAL syncing, without a disk sync
    // for every request.
    database_.Execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL");
    Transaction transaction(database_);
    if (version == 1) {
        database_.Execute(FromSchema1);
    }
    database_.Execute(Schema);
    database_.Execute(fmt::format("PRAGMA user_version = {}", SchemaVersion));
    transaction.Commit();
}

void Store::AddAccount(const std::string& userCode)
{
    std::lock_guard<std::mutex> lock(mutex_);
    database_.Run("INSERT OR IGNORE INTO accounts(user_code) VALUES (?)", userCode);
}

bool Store::HasAccount(const std::string& userCode) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return database_.Prepare("SELECT 1 FROM accounts WHERE user_code = ?", userCode).Step();
}

void Store::NoteClient(const std::string& userCode, const std::string& platform,
                       const std::string& userId)
{
    std::lock_guard<std::mutex> lock(mutex_);
    database_.Run("UPDATE accounts SET platform = ?, user_id = ? WHERE user_code = ?", platform,
                  userId, userCode);
}

SyncAnswer Store::ReplaceInventory(const std::string& userCode, const std::vector<Product>& items)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Transaction transaction(database_);
    database_.Run("DELETE FROM items WHERE user_code = ?", userCode);
    InsertItems(userCode, items);
    const std::string guid = NewGuid();
    database_.Run("UPDATE accounts SET guid = ? WHERE user_code = ?", guid, userCode);
    transaction.Commit();
    return {guid, false, {}};
}

SyncAnswer Store::ApplyDiff(const std::string& userCode, const InventoryDiff& diff,
                            const std::optional<std::string>& lastRequest)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Transaction transaction(database_);
    const std::string current = CurrentGuid(userCode);
    const auto refuse = [&current](std::string why) {
        return SyncAnswer{current, true, std::move(why)};
    };
    if (current.empty()) {
        return refuse("no full upload accepted yet");
    }
    if (diff.previousGuid != current) {
        return refuse(fmt::format("previousGuid {} is not the current guid {}", diff.previousGuid,
                                  current));
    }
    if (lastRequest != current) {
        return refuse(fmt::format("lastRequest {} is not the current guid {}",
                                  lastRequest.value_or("(missing)"), current));
    }
    for (const Product& item : diff.removed) {
        database_.Run(
            "DELETE FROM items WHERE id = (SELECT id FROM items WHERE user_code = ? AND "
            "instance_id = ? ORDER BY id LIMIT 1)",
            userCode, Decimal(item.instanceId));
        if (database_.Changes() == 0) {
            // The transaction's rollback undoes the removals made so far.
            return refuse(fmt::format("removed item {} is not in the inventory", item.instanceId));
        }
    }
    InsertItems(userCode, diff.added);
    const std::string guid = NewGuid();
    database_.Run("UPDATE accounts SET guid = ? WHERE user_code = ?", guid, userCode);
    transaction.Commit();
    return {guid, false, {}};
}

std::string Store::ExpireGuid(const std::string& userCode)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string guid = NewGuid();
    database_.Run("UPDATE accounts SET guid = ? WHERE user_code = ?", guid, userCode);
    return guid;
}

void Store::SetSyncEnabled(const std::string& userCode, bool enabled)
{
    std::lock_guard<std::mutex> lock(mutex_);
    database_.Run("UPDATE accounts SET sync_enabled = ? WHERE user_code = ?",
                  std::int64_t{enabled ? 1 : 0}, userCode);
}

void Store::AddLoadout(const std::string& userCode, const json& loadout)
{
    std::lock_guard<std::mutex> lock(mutex_);
    database_.Run("INSERT INTO loadouts(user_code, loadout) VALUES (?, ?)", userCode,
                  loadout.dump());
}

void Store::AddStatsRequest(const std::string& userCode, std::int32_t playlistId)
{
    std::lock_guard<std::mutex> lock(mutex_);
    database_.Run("INSERT INTO stats_requests(user_code, playlist_id) VALUES (?, ?)", userCode,
                  std::int64_t{playlistId});
}

bool Store::AddTrade(const std::string& userCode, const json& trade)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string guid = trade.at("trade_guid");
    if (database_.Prepare("SELECT 1 FROM trades WHERE user_code = ? AND trade_guid = ?", userCode,
                          guid)
            .Step()) {
        database_.Run(
            "UPDATE accounts SET repeated_trades = repeated_trades + 1 WHERE user_code = ?",
            userCode);
        return false;
    }
    database_.Run("INSERT INTO trades(user_code, trade, trade_guid) VALUES (?, ?, ?)", userCode,
                  trade.dump(), guid);
    return true;
}

void Store::Reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Transaction transaction(database_);
    database_.Execute(ResetData);
    transaction.Commit();
}

void Store::AddPartnerCheck(const std::string& tradingPlayerId, int status)
{
    std::lock_guard<std::mutex> lock(mutex_);
    database_.Run("INSERT INTO partner_checks(trading_player_id, status) VALUES (?, ?)",
                  tradingPlayerId, std::int64_t{status});
}

void Store::CountRequest(std::string_view endpoint, int status)
{
    std::lock_guard<std::mutex> lock(mutex_);
    database_.Run(
        "INSERT INTO request_counts(endpoint, status, count) VALUES (?, ?, 1) "
        "ON CONFLICT(endpoint, status) DO UPDATE SET count = count + 1",
        endpoint, std::int64_t{status});
}

json Store::Dump() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    json accounts = json::object();
    Statement rows = database_.Prepare(
        "SELECT user_code, guid, sync_enabled, platform, user_id, repeated_trades FROM accounts "
        "ORDER BY user_code");
    while (rows.Step()) {
        const std::string userCode = rows.Text(0);
        json statsRequests = json::array();
        Statement stats = database_.Prepare(
            "SELECT playlist_id FROM stats_requests WHERE user_code = ? ORDER BY id", userCode);
        while (stats.Step()) {
            statsRequests.push_back({{"playlistID", stats.Integer(0)}});
        }
        accounts[userCode] = {
            {"guid", rows.Text(1)},
            {"syncEnabled", rows.Integer(2) != 0},
            {"platform", rows.Text(3)},
            {"userId", rows.Text(4)},
            {"items", JsonColumn("product", "items", userCode)},
            {"loadouts", JsonColumn("loadout", "loadouts", userCode)},
            {"statsRequests", std::move(statsRequests)},
            {"trades", JsonColumn("trade", "trades", userCode)},
            {"repeatedTrades", rows.Integer(5)},
        };
    }

    json partnerChecks = json::array();
    Statement checks =
        database_.Prepare("SELECT trading_player_id, status FROM partner_checks ORDER BY id");
    while (checks.Step()) {
        partnerChecks.push_back(
            {{"tradingPlayerId", checks.Text(0)}, {"status", checks.Integer(1)}});
    }

    json requests = json::object();
    Statement counts = database_.Prepare("SELECT endpoint, status, count FROM request_counts");
    while (counts.Step()) {
        requests[counts.Text(0)][std::to_string(counts.Integer(1))] = counts.Integer(2);
    }
    return {{"accounts", std::move(accounts)},
            {"partnerChecks", std::move(partnerChecks)},
            {"requests", std::move(requests)}};
}

std::string Store::CurrentGuid(const std::string& userCode) const
{
    Statement query = database_.Prepare("SELECT guid FROM accounts WHERE user_code = ?", userCode);
    return query.Step() ? query.Text(0) : std::string();
}

std::string Store::NewGuid()
{
    return fmt::format("{:016x}{:016x}", random_(), random_());
}

void Store::InsertItems(const std::string& userCode, const std::vector<Product>& items)
{
    for (const Product& item : items) {
        database_.Run("INSERT INTO items(user_code, instance_id, product) VALUES (?, ?, ?)",
                      userCode, Decimal(item.instanceId), item.json.dump());
    }
}

json Store::JsonColumn(std::string_view column, std::string_view table,
                       const std::string& userCode) const
{
    json values = json::array();
    Statement rows = database_.Prepare(
        fmt::format("SELECT {} FROM {} WHERE user_code = ? ORDER BY id", column, table), userCode);
    while (rows.Step()) {
        values.push_back(json::parse(rows.Text(0)));
    }
    return values;
}

}  // namespace qvxdev
