// The plug-in's product form as inventory load reads it and inventory save writes it.
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "../sim/TestHost.h"
#include "tools/plexar-sim/commands/ProductForm.h"

namespace plexarsim {
namespace {

namespace game = sim::game;
using nlohmann::json;
using ::testing::HasSubstr;

std::string ProblemWith(const json& document)
{
    sim::test::TestHost host;
    try {
        ReadProductForm(document, *host);
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "";
}

TEST(ProductForm, WritesWhatThePlugInWouldAndReadsItBack)
{
    sim::test::TestHost host;
    game::Product product;
    product.productId = 23;
    product.instanceId = 18446744073709551615u;
    product.quality = 3;
    product.tradeHold = -1;
    product.attributes = {game::Attribute::Painted(-2), game::Attribute::Certified(5, 120),
                          game::Attribute::Title(host->InternName("SKY LORD")), game::Attribute::Quality(255),
                          game::Attribute::OfClass("ProductAttribute_Unknown_TA")};
    const json written = WriteProductForm({product}, *host);
    EXPECT_EQ(written, json::parse(R"([{"ID": 23, "SeriesID": 0, "TradeHold": -1, "InstanceID": 18446744073709551615,
        "Quality": 3, "Attributes": [{"Key": "Painted", "Value": "-2"}, {"Key": "CertifiedValue", "Value": "120"},
        {"Key": "Certified", "Value": "5"}, {"Key": "TitleID", "Value": "SKY LORD"}, {"Key": "Quality", "Value": "255"},
        {"Key": "Unknown", "Value": ""}]}])"));

    // The same from a snapshot file's "items", into a host whose name table knows nothing yet.
    host.Destroy();
    sim::test::TestHost other;
    const auto read = ReadProductForm(json{{"guid", "g"}, {"items", written}}, *other);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(WriteProductForm(read, *other), written);
    EXPECT_EQ(read[0].attributes[1].statValue, 120);
}

TEST(ProductForm, RefusesWhatThePlugInNeverWritesNamingThePlace)
{
    const json good = json::parse(R"({"ID": 1, "SeriesID": 0, "TradeHold": 0, "InstanceID": 5, "Quality": 0,
        "Attributes": []})");
    EXPECT_EQ(ProblemWith(json::array({good})), "");
    EXPECT_THAT(ProblemWith(json{{"guid", "g"}}), HasSubstr("expected an array of products"));
    json missing = good;
    missing.erase("InstanceID");
    EXPECT_EQ(ProblemWith(json::array({good, missing})), "products[1]: \"InstanceID\" is missing");
    json certified = good;
    certified["Attributes"] = json::parse(R"([{"Key": "Certified", "Value": "5"}])");
    EXPECT_THAT(ProblemWith(json::array({certified})),
                HasSubstr("products[0].Attributes[0]: a Certified entry needs a CertifiedValue entry before it"));
    json painted = good;
    painted["Attributes"] = json::parse(R"([{"Key": "Painted", "Value": "red"}])");
    EXPECT_EQ(ProblemWith(json::array({painted})),
              "products[0].Attributes[0].Value: expected a decimal 32-bit integer, got \"red\"");
    json extra = good;
    extra["Label"] = "x";
    EXPECT_THAT(ProblemWith(json::array({extra})), HasSubstr("unknown key \"Label\""));
}

}  // namespace
}  // namespace plexarsim
