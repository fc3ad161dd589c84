#include "inventory/ProductData.h"

#include <limits>
#include <stdexcept>
#include <utility>

#include "core/Log.h"
#include "host/GameData.h"
#include "host/GameWrapper.h"
#include "inventory/JsonTextWriter.h"
#include "inventory/Texts.h"

namespace quorvex {
namespace {

// The value text of one attribute, by its type name (compared byte for byte).
std::string AttributeValue(const ProductAttributeWrapper& attribute, const std::string& type, GameWrapper& game)
{
    const auto address = attribute.memory_address;
    if (type == "ProductAttribute_Painted_TA") {
        return std::to_string(ProductAttribute_PaintedWrapper(address).GetPaintID());
    }
    if (type == "ProductAttribute_Certified_TA") {
        return std::to_string(ProductAttribute_CertifiedWrapper(address).GetStatId());
    }
    if (type == "ProductAttribute_Quality_TA") {
        return std::to_string(static_cast<unsigned>(ProductAttribute_QualityWrapper(address).GetQuality()));
    }
    if (type == "ProductAttribute_TeamEdition_TA") {
        return std::to_string(ProductAttribute_TeamEditionWrapper(address).GetId());
    }
    if (type == "ProductAttribute_SpecialEdition_TA") {
        return std::to_string(ProductAttribute_SpecialEditionWrapper(address).GetEditionID());
    }
    if (type == "ProductAttribute_Blueprint_TA") {
        return std::to_string(ProductAttribute_BlueprintWrapper(address).GetProductID());
    }
    if (type == "ProductAttribute_BlueprintCost_TA") {
        return std::to_string(ProductAttribute_BlueprintCostWrapper(address).GetCost());
    }
    if (type == "ProductAttribute_TitleID_TA") {
        // A title's cost is the index of its name.
        return game.GetFNameByIndex(ProductAttribute_BlueprintCostWrapper(address).GetCost());
    }
    return {};
}

// Reads an integer member of a product. A number with a fraction, or one outside the member's
// type, is refused: converting it would truncate it or, for one beyond 64 bits (which the JSON
// library holds as a floating-point value), be undefined.
template <typename Integer>
void ReadInteger(const nlohmann::json& number, const char* member, Integer& value)
{
    using Limits = std::numeric_limits<Integer>;
    if (!number.is_number()) {
        number.get_to(value);  // the library's error for a wrong type
        return;
    }
    bool fits = false;
    if (number.is_number_unsigned()) {
        fits = number.get<std::uint64_t>() <= static_cast<std::uint64_t>(Limits::max());
    } else if (number.is_number_integer()) {
        const auto read = number.get<std::int64_t>();
        fits = read < 0 ? read >= static_cast<std::int64_t>(Limits::min())
                        : static_cast<std::uint64_t>(read) <= static_cast<std::uint64_t>(Limits::max());
    }
    if (!fits) {
        throw std::out_of_range(fmt::format("product member \"{}\" is {}, not an integer from {} to {}", member,
                                            number.dump(), +Limits::min(), +Limits::max()));
    }
    number.get_to(value);
}

}  // namespace

void ReadProductMember(const nlohmann::json& value, const char* member, std::int32_t& field)
{
    ReadInteger(value, member, field);
}

void ReadProductMember(const nlohmann::json& value, const char* member, std::uint64_t& field)
{
    ReadInteger(value, member, field);
}

void ReadProductMember(const nlohmann::json& value, const char* member, std::uint8_t& field)
{
    ReadInteger(value, member, field);
}

ProductData MakeProductData(const OnlineProductWrapper& product, GameWrapper& game)
{
    ProductData data;
    data.ID = product.GetProductID();
    data.SeriesID = product.GetSeriesID();
    data.TradeHold = product.GetTradeHold();
    data.InstanceID = product.GetInstanceID();
    data.Quality = product.GetQuality();
    data.Attributes = SerializeAttributes(product, game);
    return data;
}

std::vector<ProductAttribute> SerializeAttributes(const OnlineProductWrapper& product, GameWrapper& game)
{
    const ArrayWrapper<ProductAttributeWrapper> attributes = product.GetAttributes();
    const int count = attributes.Count();
    std::vector<ProductAttribute> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        const ProductAttributeWrapper attribute = attributes.Get(index);
        std::string key = attribute.GetTypename();
        const std::string type = attribute.GetAttributeType();
        if (type == "ProductAttribute_Certified_TA") {
            entries.push_back(
                {"CertifiedValue",
                 std::to_string(ProductAttribute_CertifiedWrapper(attribute.memory_address).GetStatValue())});
        }
        std::string value = AttributeValue(attribute, type, game);
        entries.push_back({std::move(key), std::move(value)});
    }
    return entries;
}

std::vector<ProductData> GetCurrentItems(GameWrapper& game)
{
    const ItemsWrapper itemsWrapper = game.GetItemsWrapper();
    if (itemsWrapper.IsNull()) {
        throw std::runtime_error(texts::inventory::NoItemError);
    }
    const ArrayWrapper<OnlineProductWrapper> owned = itemsWrapper.GetOwnedProducts();
    if (owned.IsNull()) {
        throw std::runtime_error(texts::inventory::NoProductsError);
    }
    return MakeProductList(owned, game);
}

std::vector<ProductData> MakeProductList(const ArrayWrapper<OnlineProductWrapper>& products, GameWrapper& game)
{
    const int count = products.Count();
    std::vector<ProductData> items;
    items.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        items.push_back(MakeProductData(products.Get(index), game));
    }
    return items;
}

void to_json(nlohmann::json& json, const ProductAttribute& attribute)
{
    json = nlohmann::json{{"Key", attribute.key}, {"Value", attribute.value}};
}

void from_json(const nlohmann::json& json, ProductAttribute& attribute)
{
    json.at("Key").get_to(attribute.key);
    json.at("Value").get_to(attribute.value);
}

void to_json(nlohmann::json& json, const ProductData& product)
{
    json = nlohmann::json{
        {"ID", product.ID},
        {"SeriesID", product.SeriesID},
        {"TradeHold", product.TradeHold},
        {"InstanceID", product.InstanceID},
        {"Quality", product.Quality},
        {"Attributes", product.Attributes},
    };
}

void from_json(const nlohmann::json& json, ProductData& product)
{
    // Read into a fresh record so that a failure leaves no half-filled product behind.
    ProductData read;
    ReadInteger(json.at("ID"), "ID", read.ID);
    ReadInteger(json.at("SeriesID"), "SeriesID", read.SeriesID);
    ReadInteger(json.at("TradeHold"), "TradeHold", read.TradeHold);
    ReadInteger(json.at("InstanceID"), "InstanceID", read.InstanceID);
    ReadInteger(json.at("Quality"), "Quality", read.Quality);
    json.at("Attributes").get_to(read.Attributes);
    product = std::move(read);
}

std::string DumpJson(const nlohmann::json& json, int indent, std::string_view what)
{
    try {
        return json.dump(indent);
    } catch (const nlohmann::json::type_error&) {
        // The only error a dump raises: invalid UTF-8 in a host text.
        LogInvalidUtf8Replaced(what);
        return json.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
    }
}

std::string DumpProducts(const std::vector<ProductData>& items, int indent, int depth, std::string_view what)
{
    return JsonTextWriter::Text(indent, depth, what, [&items](JsonTextWriter& json) { json.Products(items); });
}

}  // namespace quorvex
