#include "tools/qvx-devservice/Store.h"

#include <cstdio>
#include <limits>

#include <gtest/gtest.h>

#include "tests/devservice/Products.h"

namespace qvxdev {
namespace {

using testing::DiffJson;
using testing::InstanceIds;
using testing::InventoryJson;

constexpr const char* Code = "QVX-TEST";
constexpr std::uint64_t Largest = std::numeric_limits<std::uint64_t>::max();

class StoreTest : public ::testing::Test {
protected:
    StoreTest() { store_.AddAccount(Code); }

    SyncAnswer Full(const std::vector<std::uint64_t>& ids)
    {
        return store_.ReplaceInventory(Code, ReadInventory(InventoryJson(ids)));
    }

    SyncAnswer Diff(const std::string& guid, const std::vector<std::uint64_t>& added,
                    const std::vector<std::uint64_t>& removed)
    {
        return store_.ApplyDiff(Code, ReadInventoryDiff(DiffJson(guid, added, removed)), guid);
    }

    std::vector<std::uint64_t> Held() { return InstanceIds(Account().at("items")); }
    nlohmann::json Account() { return store_.Dump().at("accounts").at(Code); }

    Store store_{":memory:"};
};

TEST_F(StoreTest, FullUploadThenMatchingDiffThenStaleDiff)
{
    const SyncAnswer full = Full({1, 2, 3});
    EXPECT_FALSE(full.full);
    EXPECT_EQ(full.guid.size(), 32u);
    EXPECT_EQ(Account().at("guid"), full.guid);

    const SyncAnswer diff = Diff(full.guid, {4}, {2});
    EXPECT_FALSE(diff.full);
    EXPECT_NE(diff.guid, full.guid);
    EXPECT_EQ(Held(), (std::vector<std::uint64_t>{1, 3, 4}));

    // The plug-in sends the guid it holds; once it is stale, the service asks for everything and
    // keeps what it has.
    const SyncAnswer stale = Diff(full.guid, {5}, {1});
    EXPECT_TRUE(stale.full);
    EXPECT_EQ(stale.guid, diff.guid);
    EXPECT_EQ(Held(), (std::vector<std::uint64_t>{1, 3, 4}));

    // The full upload that follows replaces the inventory whole.
    const SyncAnswer again = Full({7});
    EXPECT_FALSE(again.full);
    EXPECT_EQ(Held(), (std::vector<std::uint64_t>{7}));
}

TEST_F(StoreTest, DiffIsRefusedWithoutAFullUploadOrWithAStaleQuery)
{
    EXPECT_TRUE(Diff("", {1}, {}).full) << "an account that never uploaded has no guid to match";

    const std::string guid = Full({1}).guid;
    const InventoryDiff diff = ReadInventoryDiff(DiffJson(guid, {2}, {}));
    EXPECT_TRUE(store_.ApplyDiff(Code, diff, std::nullopt).full);
    EXPECT_TRUE(store_.ApplyDiff(Code, diff, std::string("other")).full);
    EXPECT_EQ(Held(), (std::vector<std::uint64_t>{1}));
    EXPECT_FALSE(store_.ApplyDiff(Code, diff, guid).full);
}

TEST_F(StoreTest, DiffRemovingAnItemNotHeldChangesNothing)
{
    const std::string guid = Full({1, 2}).guid;
    const SyncAnswer answer = Diff(guid, {3}, {1, 9});
    EXPECT_TRUE(answer.full);
    EXPECT_EQ(answer.guid, guid);
    EXPECT_NE(answer.refusal.find("9"), std::string::npos) << answer.refusal;
    EXPECT_EQ(Held(), (std::vector<std::uint64_t>{1, 2})) << "the removal of 1 is rolled back";
}

TEST_F(StoreTest, ItemsAreCountedByInstanceIdAcrossTheWhole64Bits)
{
    const std::uint64_t high = (std::uint64_t{1} << 63) + 5;
    const std::string guid = Full({Largest, high, high}).guid;
    const SyncAnswer answer = Diff(guid, {}, {high});
    ASSERT_FALSE(answer.full);
    EXPECT_EQ(Held(), (std::vector<std::uint64_t>{Largest, high}))
        << "one copy of a duplicated item goes, as the plug-in's diff counts them";
}

TEST_F(StoreTest, DumpHoldsWhatEachFeatureSent)
{
    store_.NoteClient(Code, "Steam", "76561198012345678");
    store_.SetSyncEnabled(Code, false);
    store_.AddLoadout(Code, testing::LoadoutJson());
    store_.AddStatsRequest(Code, 13);
    store_.AddStatsRequest(Code, -1);
    store_.AddTrade(Code, testing::TradeJson());
    store_.AddPartnerCheck("Steam|1|0", 423);
    store_.CountRequest("stats", 200);
    store_.CountRequest("stats", 200);
    store_.CountRequest("stats", 500);

    const nlohmann::json state = store_.Dump();
    const nlohmann::json& account = state.at("accounts").at(Code);
    EXPECT_EQ(account.at("platform"), "Steam");
    EXPECT_EQ(account.at("userId"), "76561198012345678");
    EXPECT_EQ(account.at("syncEnabled"), false);
    EXPECT_EQ(account.at("loadouts"), nlohmann::json::array({testing::LoadoutJson()}));
    EXPECT_EQ(account.at("statsRequests"),
              nlohmann::json::parse(R"([{"playlistID":13},{"playlistID":-1}])"));
    EXPECT_EQ(account.at("trades"), nlohmann::json::array({testing::TradeJson()}));
    EXPECT_EQ(state.at("partnerChecks"),
              nlohmann::json::parse(R"([{"tradingPlayerId":"Steam|1|0","status":423}])"));
    EXPECT_EQ(state.at("requests"), nlohmann::json::parse(R"({"stats":{"200":2,"500":1}})"));
}

TEST_F(StoreTest, AddingAKnownAccountKeepsItsData)
{
    Full({1});
    store_.AddAccount(Code);
    EXPECT_EQ(Held(), (std::vector<std::uint64_t>{1}));
}

TEST_F(StoreTest, ATradeIsStoredOncePerGuidAndRepeatsAreCounted)
{
    nlohmann::json other = testing::TradeJson();
    other["trade_guid"] = "7A01";
    EXPECT_TRUE(store_.AddTrade(Code, testing::TradeJson()));
    EXPECT_FALSE(store_.AddTrade(Code, testing::TradeJson()));
    EXPECT_TRUE(store_.AddTrade(Code, other));
    store_.AddAccount("OTHER");
    EXPECT_TRUE(store_.AddTrade("OTHER", testing::TradeJson()))
        << "the other side of the same trade logs it for its own account";
    EXPECT_EQ(Account().at("trades"), nlohmann::json::array({testing::TradeJson(), other}));
    EXPECT_EQ(Account().at("repeatedTrades"), 1);
}

TEST_F(StoreTest, ResetEmptiesTheDataAndKeepsTheAccounts)
{
    Full({1, 2});
    store_.NoteClient(Code, "Steam", "7");
    store_.SetSyncEnabled(Code, false);
    store_.AddLoadout(Code, testing::LoadoutJson());
    store_.AddStatsRequest(Code, 13);
    store_.AddTrade(Code, testing::TradeJson());
    store_.AddTrade(Code, testing::TradeJson());
    store_.AddPartnerCheck("Steam|1|0", 423);
    store_.CountRequest("stats", 200);
    store_.Reset();

    Store fresh(":memory:");
    fresh.AddAccount(Code);
    EXPECT_EQ(store_.Dump(), fresh.Dump());
    EXPECT_TRUE(store_.AddTrade(Code, testing::TradeJson())) << "a trade after a reset is new";
}

class StoreFileTest : public ::testing::Test {
protected:
    StoreFileTest() { RemoveFiles(); }
    ~StoreFileTest() override { RemoveFiles(); }

    void RemoveFiles()
    {
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::remove((path_ + suffix).c_str());
        }
    }

    const std::string path_ =
        ::testing::TempDir() + "devservice-" +
        ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".sqlite";
};

TEST_F(StoreFileTest, ReopeningTheFileKeepsAccountsInventoryAndGuid)
{
    std::string guid;
    {
        Store store(path_);
        store.AddAccount(Code);
        guid = store.ReplaceInventory(Code, ReadInventory(InventoryJson({Largest, 2}))).guid;
        store.AddStatsRequest(Code, 13);
    }
    Store reopened(path_);
    const nlohmann::json account = reopened.Dump().at("accounts").at(Code);
    EXPECT_EQ(account.at("guid"), guid);
    EXPECT_EQ(InstanceIds(account.at("items")), (std::vector<std::uint64_t>{Largest, 2}));
    EXPECT_EQ(account.at("statsRequests").size(), 1u);
    EXPECT_FALSE(
        reopened.ApplyDiff(Code, ReadInventoryDiff(DiffJson(guid, {3}, {2})), guid).full)
        << "a diff against the guid from before the restart still applies";
}

TEST_F(StoreFileTest, ReadsTheFileOfTheFirstSchemaAndStopsItsRepeats)
{
    {
        Database database(path_);
        database.Execute(R"sql(
            CREATE TABLE accounts (user_code TEXT PRIMARY KEY, guid TEXT NOT NULL DEFAULT '',
                sync_enabled INTEGER NOT NULL DEFAULT 1, platform TEXT NOT NULL DEFAULT '',
                user_id TEXT NOT NULL DEFAULT '');
            CREATE TABLE trades (id INTEGER PRIMARY KEY, user_code TEXT NOT NULL
                REFERENCES accounts(user_code), trade TEXT NOT NULL);
            PRAGMA user_version = 1;
        )sql");
        database.Run("INSERT INTO accounts(user_code, guid) VALUES (?, 'G1')", Code);
        database.Run("INSERT INTO trades(user_code, trade) VALUES (?, ?)", Code,
                     testing::TradeJson().dump());
    }
    Store store(path_);
    EXPECT_FALSE(store.AddTrade(Code, testing::TradeJson()))
        << "a trade stored before the upgrade is known by its guid";
    const nlohmann::json account = store.Dump().at("accounts").at(Code);
    EXPECT_EQ(account.at("guid"), "G1");
    EXPECT_EQ(account.at("trades").size(), 1u);
    EXPECT_EQ(account.at("repeatedTrades"), 1);
}

TEST_F(StoreFileTest, RefusesADatabaseOfANewerSchema)
{
    {
        Database database(path_);
        database.Execute("PRAGMA user_version = 99");
    }
    try {
        Store store(path_);
        FAIL() << "a newer schema was read";
    } catch (const SqliteError& error) {
        EXPECT_NE(std::string(error.what()).find("schema 99"), std::string::npos) << error.what();
    }
}

}  // namespace
}  // namespace qvxdev
