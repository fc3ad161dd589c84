#include "tools/qvx-devservice/ApiHandlers.h"

#include <gtest/gtest.h>

#include "tests/devservice/Products.h"

namespace qvxdev {
namespace {

using nlohmann::json;

constexpr const char* Code = "QVX-TEST";
constexpr const char* Scammer = "Steam|666|0";

class ApiHandlersTest : public ::testing::Test {
protected:
    ApiHandlersTest()
    {
        store_.AddAccount(Code);
    }

    static ApiRequest Request(const json& body = json::object())
    {
        ApiRequest request;
        request.apiKey = ApiKey;
        request.version = PluginVersion;
        request.userCode = Code;
        request.platform = "Steam";
        request.userId = "76561198012345678";
        request.body = body.dump();
        return request;
    }

    json Account() { return store_.Dump().at("accounts").at(Code); }

    Store store_{":memory:"};
    ApiHandlers handlers_{store_, {{Scammer, Standing::Scammer},
                                   {"Steam|451|0", Standing::BannedForTerms},
                                   {"Steam|200|0", Standing::Linked}}};
};

TEST_F(ApiHandlersTest, RefusesAWrongKeyOrVersionOnEveryEndpoint)
{
    for (const EndpointInfo& endpoint : AllEndpoints()) {
        ApiRequest wrongKey = Request();
        wrongKey.apiKey = "3f9d1c7a2b8e4f60d5a1c9b7e2f4083a6d1b5c98";
        ApiRequest noVersion = Request();
        noVersion.version = "";
        ApiRequest oldVersion = Request();
        oldVersion.version = "1.0.0+224";
        for (const ApiRequest& request : {wrongKey, noVersion, oldVersion}) {
            const ApiAnswer answer = handlers_.Handle(endpoint.endpoint, request);
            EXPECT_EQ(answer.status, 401) << endpoint.name;
            EXPECT_FALSE(answer.body.at("message").get<std::string>().empty()) << endpoint.name;
        }
    }
}

TEST_F(ApiHandlersTest, RefusesAMissingOrUnknownUserCodeExceptForThePartnerCheck)
{
    ApiRequest none = Request(testing::InventoryJson({1}));
    none.userCode = "";
    ApiRequest unknown = none;
    unknown.userCode = "QVX-NOBODY";
    for (const ApiRequest& request : {none, unknown}) {
        EXPECT_EQ(handlers_.Handle(Endpoint::SmartSync, request).status, 401);
        EXPECT_EQ(handlers_.Handle(Endpoint::Stats, request).status, 401);
    }
    EXPECT_EQ(Account().at("guid"), "") << "a refused upload stores nothing";

    ApiRequest check = Request(json{{"trading_player_id", Scammer}});
    check.userCode = "";
    EXPECT_EQ(handlers_.Handle(Endpoint::ValidateTrader, check).status, 423);
}

TEST_F(ApiHandlersTest, SmartSyncTakesAFullUploadThenADiffNamingItsGuidInBodyAndQuery)
{
    const ApiAnswer full =
        handlers_.Handle(Endpoint::SmartSync, Request(testing::InventoryJson({1, 2})));
    ASSERT_EQ(full.status, 200);
    EXPECT_EQ(full.body.at("full"), false);
    const std::string guid = full.body.at("guid");

    ApiRequest diff = Request(testing::DiffJson(guid, {3}, {1}));
    diff.query["lastRequest"] = guid;
    const ApiAnswer applied = handlers_.Handle(Endpoint::SmartSync, diff);
    ASSERT_EQ(applied.status, 200);
    EXPECT_EQ(applied.body.at("full"), false);
    EXPECT_NE(applied.body.at("guid"), guid);
    EXPECT_EQ(testing::InstanceIds(Account().at("items")), (std::vector<std::uint64_t>{2, 3}));

    // The same diff again names a guid that is no longer current.
    const ApiAnswer stale = handlers_.Handle(Endpoint::SmartSync, diff);
    EXPECT_EQ(stale.status, 200);
    EXPECT_EQ(stale.body, (json{{"full", true}, {"guid", applied.body.at("guid")}}));
    EXPECT_NE(stale.note.find("previousGuid"), std::string::npos) << stale.note;

    EXPECT_EQ(Account().at("platform"), "Steam");
    EXPECT_EQ(Account().at("userId"), "76561198012345678");
}

TEST_F(ApiHandlersTest, BadBodiesAndQueriesAre400WithAMessage)
{
    const std::vector<std::pair<Endpoint, std::string>> bad{
        {Endpoint::SmartSync, "not json"},
        {Endpoint::SmartSync, "42"},
        {Endpoint::SmartSync, R"({"addedItems":[]})"},
        {Endpoint::Loadout, "[]"},
        {Endpoint::Stats, "null"},
        {Endpoint::ValidateTrader, "{}"},
        {Endpoint::LogIngameTrade, R"({"trade_guid":"x"})"},
        {Endpoint::ToggleSync, ""},
    };
    for (const auto& [endpoint, body] : bad) {
        ApiRequest request = Request();
        request.body = body;
        const ApiAnswer answer = handlers_.Handle(endpoint, request);
        EXPECT_EQ(answer.status, 400) << Describe(endpoint).name << " " << body;
        EXPECT_TRUE(answer.body.at("message").is_string()) << Describe(endpoint).name;
    }
    for (const char* status : {"", "2", "on", "01"}) {
        ApiRequest toggle = Request();
        toggle.query["status"] = status;
        EXPECT_EQ(handlers_.Handle(Endpoint::ToggleSync, toggle).status, 400) << status;
    }
}

TEST_F(ApiHandlersTest, FeaturesStoreWhatTheySent)
{
    ApiRequest toggle = Request();
    toggle.query["status"] = "0";
    EXPECT_EQ(handlers_.Handle(Endpoint::ToggleSync, toggle).status, 200);
    EXPECT_EQ(Account().at("syncEnabled"), false);
    toggle.query["status"] = "1";
    EXPECT_EQ(handlers_.Handle(Endpoint::ToggleSync, toggle).status, 200);
    EXPECT_EQ(Account().at("syncEnabled"), true);

    EXPECT_EQ(handlers_.Handle(Endpoint::Loadout, Request(testing::LoadoutJson())).status, 200);
    EXPECT_EQ(handlers_.Handle(Endpoint::Stats, Request({{"playlistID", 13}})).status, 200);
    EXPECT_EQ(handlers_.Handle(Endpoint::LogIngameTrade, Request(testing::TradeJson())).status, 200);

    const json account = Account();
    EXPECT_EQ(account.at("loadouts"), json::array({testing::LoadoutJson()}));
    EXPECT_EQ(account.at("statsRequests"), json::parse(R"([{"playlistID":13}])"));
    EXPECT_EQ(account.at("trades"), json::array({testing::TradeJson()}));
}

TEST_F(ApiHandlersTest, PartnerCheckAnswersFromThePlayerTable)
{
    const std::vector<std::pair<std::string, int>> expected{
        {Scammer, 423}, {"Steam|451|0", 451}, {"Steam|200|0", 200}, {"Steam|7|0", 202}, {"", 202}};
    json checks = json::array();
    for (const auto& [player, status] : expected) {
        const ApiRequest request = Request({{"trading_player_id", player}});
        EXPECT_EQ(handlers_.Handle(Endpoint::ValidateTrader, request).status, status) << player;
        checks.push_back({{"status", status}, {"tradingPlayerId", player}});
    }
    EXPECT_EQ(store_.Dump().at("partnerChecks"), checks);
}

}  // namespace
}  // namespace qvxdev
