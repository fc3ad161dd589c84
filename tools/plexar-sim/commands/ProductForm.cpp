#include "tools/plexar-sim/commands/ProductForm.h"

#include <charconv>
#include <limits>
#include <stdexcept>
#include <string_view>

#include <fmt/format.h>

#include "tools/plexar-sim/commands/GameJson.h"

namespace plexarsim {
namespace {

namespace game = sim::game;

constexpr std::string_view ClassPrefix = "ProductAttribute_";
constexpr std::string_view ClassSuffix = "_TA";
constexpr std::string_view CertifiedValueKey = "CertifiedValue";
constexpr std::string_view CertifiedClass = "ProductAttribute_Certified_TA";
constexpr std::string_view TitleClass = "ProductAttribute_TitleID_TA";
constexpr std::string_view QualityClass = "ProductAttribute_Quality_TA";

// The attribute classes whose value the product form carries as a decimal number.
bool HasDecimalValue(std::string_view className)
{
    for (const std::string_view known :
         {"ProductAttribute_Painted_TA", "ProductAttribute_Certified_TA", "ProductAttribute_Quality_TA",
          "ProductAttribute_TeamEdition_TA", "ProductAttribute_SpecialEdition_TA", "ProductAttribute_Blueprint_TA",
          "ProductAttribute_BlueprintCost_TA"}) {
        if (className == known) {
            return true;
        }
    }
    return false;
}

// "Painted" -> "ProductAttribute_Painted_TA"; a key that is a class name already stays.
std::string ClassOfKey(const std::string& key)
{
    const bool isClass = key.size() > ClassPrefix.size() + ClassSuffix.size() && key.rfind(ClassPrefix, 0) == 0 &&
                         key.compare(key.size() - ClassSuffix.size(), ClassSuffix.size(), ClassSuffix) == 0;
    return isClass ? key : std::string(ClassPrefix) + key + std::string(ClassSuffix);
}

std::int32_t ReadDecimal(const std::string& text, const std::string& where)
{
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw std::invalid_argument(fmt::format("{}: expected a decimal 32-bit integer, got \"{}\"", where, text));
    }
    return value;
}

const std::string& ReadText(const nlohmann::json& object, const char* key, const std::string& where)
{
    if (!object.contains(key) || !object.at(key).is_string()) {
        throw std::invalid_argument(fmt::format("{}: expected a text \"{}\"", where, key));
    }
    return object.at(key).get_ref<const std::string&>();
}

std::vector<game::Attribute> ReadAttributes(const nlohmann::json& entries, const std::string& where, sim::Host& host)
{
    if (!entries.is_array()) {
        throw std::invalid_argument(where + ": expected an array");
    }
    std::vector<game::Attribute> attributes;
    // The stat value of a "CertifiedValue" entry, which the next entry (its Certified) takes.
    bool certifiedValuePending = false;
    std::int32_t certifiedValue = 0;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const std::string place = fmt::format("{}[{}]", where, index);
        const nlohmann::json& entry = entries[index];
        if (!entry.is_object()) {
            throw std::invalid_argument(place + ": expected an object {\"Key\": ..., \"Value\": ...}");
        }
        ExpectKeys(entry, "Key, Value", place);
        const std::string& key = ReadText(entry, "Key", place);
        const std::string& value = ReadText(entry, "Value", place);
        if (key == CertifiedValueKey) {
            certifiedValue = ReadDecimal(value, place + ".Value");
            certifiedValuePending = true;
            continue;
        }
        game::Attribute attribute = game::Attribute::OfClass(ClassOfKey(key));
        if (attribute.className == CertifiedClass) {
            if (!certifiedValuePending) {
                throw std::invalid_argument(place + ": a Certified entry needs a CertifiedValue entry before it");
            }
            attribute.statValue = certifiedValue;
        } else if (certifiedValuePending) {
            throw std::invalid_argument(place + ": a CertifiedValue entry must be followed by a Certified entry");
        }
        certifiedValuePending = false;
        if (attribute.className == TitleClass) {
            attribute.value = host.InternName(value);
        } else if (HasDecimalValue(attribute.className)) {
            attribute.value = ReadDecimal(value, place + ".Value");
            if (attribute.className == QualityClass && (attribute.value < 0 || attribute.value > 255)) {
                throw std::invalid_argument(fmt::format("{}.Value: expected a quality from 0 to 255, got {}", place, value));
            }
        } else if (!value.empty()) {
            throw std::invalid_argument(fmt::format("{}: the type \"{}\" carries no value, got \"{}\"", place, key, value));
        }
        attributes.push_back(std::move(attribute));
    }
    if (certifiedValuePending) {
        throw std::invalid_argument(where + ": a CertifiedValue entry must be followed by a Certified entry");
    }
    return attributes;
}

game::Product ReadProduct(const nlohmann::json& json, const std::string& where, sim::Host& host)
{
    if (!json.is_object()) {
        throw std::invalid_argument(where + ": expected a product object");
    }
    ExpectKeys(json, "ID, SeriesID, TradeHold, InstanceID, Quality, Attributes", where);
    for (const char* key : {"ID", "SeriesID", "TradeHold", "InstanceID", "Quality", "Attributes"}) {
        if (!json.contains(key)) {
            throw std::invalid_argument(fmt::format("{}: \"{}\" is missing", where, key));
        }
    }
    game::Product product;
    product.productId = ReadInteger<std::int32_t>(json.at("ID"), where + ".ID");
    product.seriesId = ReadInteger<std::int32_t>(json.at("SeriesID"), where + ".SeriesID");
    product.tradeHold = ReadInteger<std::int32_t>(json.at("TradeHold"), where + ".TradeHold");
    product.instanceId = ReadInteger<std::uint64_t>(json.at("InstanceID"), where + ".InstanceID");
    product.quality = ReadInteger<std::uint8_t>(json.at("Quality"), where + ".Quality");
    product.attributes = ReadAttributes(json.at("Attributes"), where + ".Attributes", host);
    return product;
}

std::string ValueOf(const game::Attribute& attribute, const sim::Host& host)
{
    if (attribute.className == TitleClass) {
        return host.NameAt(attribute.value);
    }
    if (attribute.className == QualityClass) {
        return std::to_string(static_cast<unsigned>(static_cast<std::uint8_t>(attribute.value)));  // as the game reads it
    }
    return HasDecimalValue(attribute.className) ? std::to_string(attribute.value) : std::string();
}

}  // namespace

std::vector<game::Product> ReadProductForm(const nlohmann::json& document, sim::Host& host)
{
    const bool isSnapshot = document.is_object() && document.contains("items");
    const nlohmann::json& items = isSnapshot ? document.at("items") : document;
    const std::string where = isSnapshot ? "items" : "products";
    if (!items.is_array()) {
        throw std::invalid_argument(
            "expected an array of products, or an object whose \"items\" is one (an inventory snapshot)");
    }
    std::vector<game::Product> products;
    products.reserve(items.size());
    for (std::size_t index = 0; index < items.size(); ++index) {
        products.push_back(ReadProduct(items[index], fmt::format("{}[{}]", where, index), host));
    }
    return products;
}

nlohmann::json WriteProductForm(const std::vector<game::Product>& products, const sim::Host& host)
{
    auto array = nlohmann::json::array();
    for (const game::Product& product : products) {
        auto attributes = nlohmann::json::array();
        for (const game::Attribute& attribute : product.attributes) {
            if (attribute.className == CertifiedClass) {
                attributes.push_back({{"Key", CertifiedValueKey}, {"Value", std::to_string(attribute.statValue)}});
            }
            attributes.push_back({{"Key", attribute.typeName}, {"Value", ValueOf(attribute, host)}});
        }
        array.push_back({
            {"ID", product.productId},
            {"SeriesID", product.seriesId},
            {"TradeHold", product.tradeHold},
            {"InstanceID", product.instanceId},
            {"Quality", product.quality},
            {"Attributes", std::move(attributes)},
        });
    }
    return array;
}

}  // namespace plexarsim
