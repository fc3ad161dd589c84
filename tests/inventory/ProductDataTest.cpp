#include "inventory/ProductData.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "host/GameWrapper.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

using sim::game::Attribute;

class ProductDataTest : public ::testing::Test {
protected:
    ProductData Read(sim::game::Product product)
    {
        const auto address = host->GetWorld().Items().AddOwnedProduct(std::move(product));
        return MakeProductData(OnlineProductWrapper(address), *host->Game());
    }

    testing::TestHost host;
};

TEST_F(ProductDataTest, ReadsEveryFieldAndOneEntryPerAttributeInOrder)
{
    const int title = host->InternName("Sky Lord");
    const ProductData data = Read({1234, -5, -1, 18446744073709551615ull, 255, "Octane: Titanium White",
                                   {Attribute::Painted(-3), Attribute::Certified(7, 120), Attribute::Quality(255),
                                    Attribute::TeamEdition(-1), Attribute::SpecialEdition(4), Attribute::Blueprint(23),
                                    Attribute::BlueprintCost(-500), Attribute::Title(title),
                                    Attribute::OfClass("ProductAttribute_Mystery_TA", 9), Attribute::Painted(5)}});

    EXPECT_EQ(data.ID, 1234);
    EXPECT_EQ(data.SeriesID, -5);
    EXPECT_EQ(data.TradeHold, -1);
    EXPECT_EQ(data.InstanceID, 18446744073709551615ull);
    EXPECT_EQ(data.Quality, 255);
    const std::vector<ProductAttribute> expected{
        {"Painted", "-3"},          {"CertifiedValue", "120"}, {"Certified", "7"},
        {"Quality", "255"},         {"TeamEdition", "-1"},     {"SpecialEdition", "4"},
        {"Blueprint", "23"},        {"BlueprintCost", "-500"}, {"TitleID", "Sky Lord"},
        {"Mystery", ""},            {"Painted", "5"},
    };
    EXPECT_EQ(data.Attributes, expected);
}

TEST_F(ProductDataTest, AttributeTypesAreComparedExactly)
{
    const ProductData data = Read({1, 0, 0, 1, 0, "", {Attribute::OfClass("productattribute_painted_ta", 3),
                                                        Attribute::OfClass("ProductAttribute_Painted_TA ", 3)}});
    ASSERT_EQ(data.Attributes.size(), 2u);
    EXPECT_EQ(data.Attributes[0].value, "");
    EXPECT_EQ(data.Attributes[1].value, "");
}

TEST(ProductJsonTest, WritesMembersInKeyOrderWithFullWidthNumbers)
{
    ProductData product{-7, 3, 1700000000, 18446744073709551615ull, 255, {{"Painted", "-3"}, {"Painted", "5"}}};
    EXPECT_EQ(nlohmann::json(product).dump(),
              R"({"Attributes":[{"Key":"Painted","Value":"-3"},{"Key":"Painted","Value":"5"}],"ID":-7,)"
              R"("InstanceID":18446744073709551615,"Quality":255,"SeriesID":3,"TradeHold":1700000000})");
    EXPECT_EQ(nlohmann::json(ProductData{}).dump(),
              R"({"Attributes":[],"ID":0,"InstanceID":0,"Quality":0,"SeriesID":0,"TradeHold":0})");

    const std::vector<ProductData> list{product, ProductData{}};
    EXPECT_EQ(nlohmann::json(list).get<std::vector<ProductData>>(), list);
}

TEST(ProductJsonTest, ReadingFailsOnAMissingMemberOrAWrongType)
{
    auto object = nlohmann::json(ProductData{1, 2, 3, 4, 5, {{"k", "v"}}});
    object.erase("Attributes");
    EXPECT_THROW(object.get<ProductData>(), nlohmann::json::out_of_range);

    object = nlohmann::json(ProductData{});
    object["InstanceID"] = "4";
    try {
        object.get<ProductData>();
        FAIL() << "a string instance id was accepted";
    } catch (const nlohmann::json::type_error& error) {
        EXPECT_NE(std::string(error.what()).find("type must be number, but is string"), std::string::npos);
    }

    object = nlohmann::json(ProductData{});
    object["Attributes"] = nlohmann::json::object();
    EXPECT_THROW(object.get<ProductData>(), nlohmann::json::type_error);
    object["Attributes"] = nlohmann::json::array({{{"Key", "k"}}});
    EXPECT_THROW(object.get<ProductData>(), nlohmann::json::out_of_range);
}

TEST(ProductJsonTest, ReadingRefusesNumbersTheMemberCannotHold)
{
    // Beyond 64 bits the JSON library holds a floating-point number; converting it was undefined.
    for (const auto& [member, text] : std::vector<std::pair<std::string, std::string>>{
             {"InstanceID", "18446744073709551617"}, {"InstanceID", "-1"}, {"InstanceID", "1.5"},
             {"ID", "2147483648"}, {"ID", "-2147483649"}, {"SeriesID", "1e300"}, {"TradeHold", "-0.5"},
             {"Quality", "256"}, {"Quality", "-1"}}) {
        auto object = nlohmann::json(ProductData{});
        object[member] = nlohmann::json::parse(text);
        try {
            object.get<ProductData>();
            ADD_FAILURE() << member << " " << text << " was accepted";
        } catch (const std::out_of_range& error) {
            EXPECT_NE(std::string(error.what()).find("product member \"" + member + "\" is "), std::string::npos)
                << error.what();
        }
    }

    const auto limits = nlohmann::json::parse(
        R"({"Attributes":[],"ID":-2147483648,"InstanceID":18446744073709551615,"Quality":255,"SeriesID":2147483647,)"
        R"("TradeHold":-2147483648})");
    EXPECT_EQ(limits.get<ProductData>(),
              (ProductData{INT32_MIN, INT32_MAX, INT32_MIN, UINT64_MAX, 255, {}}));
}

TEST(ProductJsonTest, ProductListsAreWrittenAsAWholeDocumentWouldWriteThem)
{
    const std::vector<ProductData> items{{1, 2, 3, 4, 5, {{"Painted", "1"}, {"Certified", "2"}}}, {6, 7, 8, 9, 10, {}}};
    for (const int indent : {-1, 4}) {
        EXPECT_EQ(DumpProducts(items, indent, 0, "test"), nlohmann::json(items).dump(indent));
        EXPECT_EQ(DumpProducts({}, indent, 0, "test"), "[]");
    }
    const nlohmann::json nested{{"guid", "G"}, {"items", items}};
    EXPECT_EQ("{\n    \"guid\": \"G\",\n    \"items\": " + DumpProducts(items, 4, 1, "test") + "\n}", nested.dump(4));
}

TEST(ProductJsonTest, InvalidUtf8IsReplacedAndLoggedOncePerText)
{
    testing::TestHost host;
    const std::vector<ProductData> items{{1, 0, 0, 1, 0, {{"Painted\xff", "\xc3"}}}, {2, 0, 0, 2, 0, {{"x", "\xfe"}}}};

    const std::string text = DumpProducts(items, -1, 0, "the test body");
    EXPECT_NE(text.find("Painted\xef\xbf\xbd"), std::string::npos) << text;
    EXPECT_EQ(host.CountConsoleLines("Invalid UTF-8 in the test body replaced with U+FFFD"), 1);

    EXPECT_EQ(DumpJson(items[1], 4, "the product"), nlohmann::json(items[1]).dump(4, ' ', false,
                                                                                   nlohmann::json::error_handler_t::replace));
    EXPECT_EQ(host.CountConsoleLines("Invalid UTF-8 in the product replaced with U+FFFD"), 1);
    DumpJson(nlohmann::json(ProductData{}), -1, "a clean product");
    EXPECT_EQ(host.CountConsoleLines("a clean product"), 0);
}

}  // namespace
}  // namespace quorvex
