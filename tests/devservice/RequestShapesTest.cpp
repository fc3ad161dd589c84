#include "tools/qvx-devservice/RequestShapes.h"

#include <functional>

#include <gtest/gtest.h>

#include "tests/devservice/Products.h"

namespace qvxdev {
namespace {

using nlohmann::json;

struct BadBody {
    const char* name;
    std::function<void(const json&)> read;
    std::function<json()> body;
    const char* message;
};

void PrintTo(const BadBody& body, std::ostream* out)
{
    *out << body.name;
}

json With(json value, const json::json_pointer& where, json replacement)
{
    value[where] = std::move(replacement);
    return value;
}

json Without(json value, const json::json_pointer& parent, const std::string& key)
{
    value[parent].erase(key);
    return value;
}

const auto ReadFull = [](const json& body) { ReadInventory(body); };
const auto ReadDiff = [](const json& body) { ReadInventoryDiff(body); };
const auto ReadLoadoutBody = [](const json& body) { ReadLoadout(body); };
const auto ReadStats = [](const json& body) { ReadStatsRequest(body); };
const auto ReadTradeBody = [](const json& body) { ReadTrade(body); };
const auto ReadCheck = [](const json& body) { ReadPartnerCheck(body); };

json Diff()
{
    return testing::DiffJson("g", {1}, {2});
}

class RequestShapesRefusal : public ::testing::TestWithParam<BadBody> {};

TEST_P(RequestShapesRefusal, NamesTheMemberAtFault)
{
    const BadBody& bad = GetParam();
    try {
        bad.read(bad.body());
        FAIL() << "accepted " << bad.body().dump();
    } catch (const BadRequest& error) {
        EXPECT_EQ(std::string(error.what()), bad.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, RequestShapesRefusal,
    ::testing::Values(
        BadBody{"full_not_array", ReadFull, [] { return json::object(); },
                "body must be a JSON array"},
        BadBody{"negative_instance_id", ReadFull,
                [] { return With(testing::InventoryJson({1, 2}), "/1/InstanceID"_json_pointer, -1); },
                "body[1].InstanceID must be an unsigned 64-bit integer"},
        BadBody{"instance_id_as_string", ReadFull,
                [] { return With(testing::InventoryJson({1}), "/0/InstanceID"_json_pointer, "1"); },
                "body[0].InstanceID must be an unsigned 64-bit integer"},
        BadBody{"instance_id_beyond_64_bits", ReadFull,
                [] {
                    return With(testing::InventoryJson({1}), "/0/InstanceID"_json_pointer,
                                json::parse("18446744073709551616"));
                },
                "body[0].InstanceID must be an unsigned 64-bit integer"},
        BadBody{"quality_over_255", ReadFull,
                [] { return With(testing::InventoryJson({1}), "/0/Quality"_json_pointer, 256); },
                "body[0].Quality must be an integer from 0 to 255"},
        BadBody{"id_as_float", ReadFull,
                [] { return With(testing::InventoryJson({1}), "/0/ID"_json_pointer, 1.5); },
                "body[0].ID must be a signed 32-bit integer"},
        BadBody{"trade_hold_beyond_32_bits", ReadFull,
                [] { return With(testing::InventoryJson({1}), "/0/TradeHold"_json_pointer, 2147483648LL); },
                "body[0].TradeHold must be a signed 32-bit integer"},
        BadBody{"series_id_as_bool", ReadFull,
                [] { return With(testing::InventoryJson({1}), "/0/SeriesID"_json_pointer, true); },
                "body[0].SeriesID must be a signed 32-bit integer"},
        BadBody{"attribute_value_not_string", ReadFull,
                [] { return With(testing::InventoryJson({1}), "/0/Attributes/0/Value"_json_pointer, 4); },
                "body[0].Attributes[0].Value must be a string"},
        BadBody{"attribute_without_key", ReadFull,
                [] { return Without(testing::InventoryJson({1}), "/0/Attributes/0"_json_pointer, "Key"); },
                "body[0].Attributes[0].Key is missing"},
        BadBody{"diff_without_guid", ReadDiff,
                [] { return Without(Diff(), ""_json_pointer, "previousGuid"); },
                "body.previousGuid is missing"},
        BadBody{"diff_guid_not_string", ReadDiff,
                [] { return With(Diff(), "/previousGuid"_json_pointer, 7); },
                "body.previousGuid must be a string"},
        BadBody{"diff_removed_not_array", ReadDiff,
                [] { return With(Diff(), "/removedItems"_json_pointer, json::object()); },
                "body.removedItems must be a JSON array"},
        BadBody{"diff_bad_added_item", ReadDiff,
                [] { return Without(Diff(), "/addedItems/0"_json_pointer, "Quality"); },
                "body.addedItems[0].Quality is missing"},
        BadBody{"loadout_one_team", ReadLoadoutBody,
                [] { json loadout = testing::LoadoutJson(); loadout["teams"].erase(1); return loadout; },
                "body.teams must hold exactly 2 teams, not 1"},
        BadBody{"loadout_paint_over_255", ReadLoadoutBody,
                [] {
                    return With(testing::LoadoutJson(),
                                "/teams/1/primary_paint_color_id"_json_pointer, 300);
                },
                "body.teams[1].primary_paint_color_id must be an integer from 0 to 255"},
        BadBody{"loadout_bad_item", ReadLoadoutBody,
                [] { return With(testing::LoadoutJson(), "/teams/0/items/1/ID"_json_pointer, "x"); },
                "body.teams[0].items[1].ID must be a signed 32-bit integer"},
        BadBody{"stats_null", ReadStats, [] { return json(); }, "body must be a JSON object"},
        BadBody{"stats_playlist_as_text", ReadStats, [] { return json{{"playlistID", "13"}}; },
                "body.playlistID must be a signed 32-bit integer"},
        BadBody{"trade_negative_start", ReadTradeBody,
                [] { return With(testing::TradeJson(), "/trade_start"_json_pointer, -5); },
                "body.trade_start must be a Unix time in seconds (unsigned integer)"},
        BadBody{"trade_side_without_currency", ReadTradeBody,
                [] { return Without(testing::TradeJson(), "/remote_data"_json_pointer, "currency"); },
                "body.remote_data.currency is missing"},
        BadBody{"trade_quantity_as_float", ReadTradeBody,
                [] {
                    return With(testing::TradeJson(),
                                "/local_data/currency/0/quantity"_json_pointer, 2.5);
                },
                "body.local_data.currency[0].quantity must be an integer"},
        BadBody{"check_id_number", ReadCheck, [] { return json{{"trading_player_id", 5}}; },
                "body.trading_player_id must be a string"}),
    [](const ::testing::TestParamInfo<BadBody>& param) { return std::string(param.param.name); });

TEST(RequestShapes, BodiesTheServiceCannotParseAreBadRequests)
{
    EXPECT_THROW(ParseBody(""), BadRequest);
    EXPECT_THROW(ParseBody("[{\"ID\":1"), BadRequest);
    EXPECT_THROW(ParseBody("\"\xff\""), BadRequest) << "not UTF-8";
    EXPECT_THROW(ParseBody(R"({"playlistID":1e400})"), BadRequest) << "a number out of range";
    EXPECT_THROW(ParseBody(R"([-1e999])"), BadRequest);
}

TEST(RequestShapes, ProductsKeepTheirSixMembersAndThe64BitInstanceId)
{
    json item = testing::ProductJson(18446744073709551615ULL);
    item["Extra"] = "dropped";
    const std::vector<Product> products = ReadInventory(json::array({item}));
    ASSERT_EQ(products.size(), 1u);
    EXPECT_EQ(products[0].instanceId, 18446744073709551615ULL);
    item.erase("Extra");
    EXPECT_EQ(products[0].json, item);
}

TEST(RequestShapes, WellFormedBodiesReadBackAsSent)
{
    EXPECT_EQ(ReadLoadout(testing::LoadoutJson()), testing::LoadoutJson());
    EXPECT_EQ(ReadTrade(testing::TradeJson()), testing::TradeJson());
    EXPECT_EQ(ReadStatsRequest(json{{"playlistID", -7}}), -7);
    EXPECT_EQ(ReadPartnerCheck(json{{"trading_player_id", ""}}), "");
    const InventoryDiff diff = ReadInventoryDiff(testing::DiffJson("g1", {}, {4, 5}));
    EXPECT_EQ(diff.previousGuid, "g1");
    EXPECT_TRUE(diff.added.empty());
    ASSERT_EQ(diff.removed.size(), 2u);
    EXPECT_EQ(diff.removed[1].instanceId, 5u);
}

}  // namespace
}  // namespace qvxdev
