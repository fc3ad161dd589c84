#include "tools/plexar-sim/commands/GameJson.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>

#include <fmt/format.h>

namespace plexarsim {
namespace {

std::string Described(const nlohmann::json& value)
{
    std::string text = value.dump();
    constexpr std::size_t Longest = 40;
    return text.size() > Longest ? text.substr(0, Longest) + "..." : text;
}

[[noreturn]] void Refuse(const std::string& where, const std::string& expected, const nlohmann::json& got)
{
    throw std::invalid_argument(fmt::format("{}: expected {}, got {}", where, expected, Described(got)));
}

std::string ReadString(const nlohmann::json& value, const std::string& where)
{
    if (!value.is_string()) {
        Refuse(where, "a text", value);
    }
    return value.get<std::string>();
}

const std::string TitleClass = "ProductAttribute_TitleID_TA";

sim::game::Attribute ReadAttribute(const nlohmann::json& json, const std::string& where,
                                   std::optional<std::string>& title)
{
    if (!json.is_object()) {
        Refuse(where, "an object", json);
    }
    ExpectKeys(json, "class, value, statValue, name", where);
    if (!json.contains("class")) {
        throw std::invalid_argument(where + ": \"class\" is missing");
    }
    sim::game::Attribute attribute = sim::game::Attribute::OfClass(
        ReadString(json.at("class"), where + ".class"), ReadIntegerOr<std::int32_t>(json, "value", 0, where));
    attribute.statValue = ReadIntegerOr<std::int32_t>(json, "statValue", 0, where);
    if (json.contains("name")) {
        if (attribute.className != TitleClass) {
            throw std::invalid_argument(where + ": only a " + TitleClass + " attribute has a \"name\"");
        }
        title = ReadString(json.at("name"), where + ".name");
    }
    return attribute;
}

}  // namespace

nlohmann::json ParseJsonArgument(std::string_view text)
{
    try {
        return nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& error) {
        throw std::invalid_argument(fmt::format("expected JSON: {}", error.what()));
    }
}

void ExpectKeys(const nlohmann::json& object, std::string_view keys, const std::string& where)
{
    for (const auto& member : object.items()) {
        const std::string& key = member.key();
        bool known = false;
        for (std::size_t start = 0; start < keys.size() && !known;) {
            const std::size_t end = std::min(keys.find(',', start), keys.size());
            std::string_view candidate = keys.substr(start, end - start);
            while (!candidate.empty() && candidate.front() == ' ') {
                candidate.remove_prefix(1);
            }
            known = candidate == key;
            start = end + 1;
        }
        if (!known) {
            throw std::invalid_argument(fmt::format("{}: unknown key \"{}\" (known: {})", where, key, keys));
        }
    }
}

template <class T>
T ReadInteger(const nlohmann::json& value, const std::string& where)
{
    const auto expected = [&] {
        return fmt::format("an integer from {} to {}", +std::numeric_limits<T>::min(), +std::numeric_limits<T>::max());
    };
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<T>::max())) {
            Refuse(where, expected(), value);
        }
        return static_cast<T>(number);
    }
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (!std::numeric_limits<T>::is_signed || number < static_cast<std::int64_t>(std::numeric_limits<T>::min())) {
            Refuse(where, expected(), value);
        }
        return static_cast<T>(number);
    }
    Refuse(where, expected(), value);
}

template std::uint8_t ReadInteger<std::uint8_t>(const nlohmann::json&, const std::string&);
template std::int32_t ReadInteger<std::int32_t>(const nlohmann::json&, const std::string&);
template std::uint64_t ReadInteger<std::uint64_t>(const nlohmann::json&, const std::string&);

ProductDescription::ProductDescription(const nlohmann::json& json, const std::string& where)
{
    if (!json.is_object()) {
        Refuse(where, "a product object", json);
    }
    ExpectKeys(json, Keys, where);
    if (!json.contains("id")) {
        throw std::invalid_argument(where + ": \"id\" is missing");
    }
    product_.productId = ReadInteger<std::int32_t>(json.at("id"), where + ".id");
    product_.instanceId = ReadIntegerOr<std::uint64_t>(json, "instance", 0, where);
    product_.seriesId = ReadIntegerOr<std::int32_t>(json, "series", 0, where);
    product_.tradeHold = ReadIntegerOr<std::int32_t>(json, "tradeHold", 0, where);
    product_.quality = ReadIntegerOr<std::uint8_t>(json, "quality", 0, where);
    if (json.contains("label")) {
        product_.longLabel = ReadString(json.at("label"), where + ".label");
    }
    if (!json.contains("attributes")) {
        return;
    }
    const nlohmann::json& attributes = json.at("attributes");
    if (!attributes.is_array()) {
        Refuse(where + ".attributes", "an array", attributes);
    }
    for (std::size_t index = 0; index < attributes.size(); ++index) {
        std::optional<std::string> title;
        product_.attributes.push_back(
            ReadAttribute(attributes[index], fmt::format("{}.attributes[{}]", where, index), title));
        if (title) {
            titles_.emplace_back(index, std::move(*title));
        }
    }
}

sim::game::Product ProductDescription::Resolve(sim::Host& host) const
{
    sim::game::Product product = product_;
    for (const auto& [index, title] : titles_) {
        product.attributes[index].value = host.InternName(title);
    }
    return product;
}

}  // namespace plexarsim
