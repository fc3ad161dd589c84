#include "tools/qvx-devservice/RequestShapes.h"

#include <limits>
#include <string_view>

#include <fmt/format.h>

namespace qvxdev {
namespace {

using nlohmann::json;

constexpr std::int64_t Int32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t Int32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t Int64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t Int64Max = std::numeric_limits<std::int64_t>::max();

// A value inside a body together with where it sits, so that every refusal names the member.
class Field {
public:
    Field(const json& value, std::string path) : value_(value), path_(std::move(path)) {}

    Field Member(std::string_view key) const
    {
        if (!value_.is_object()) {
            Refuse("a JSON object");
        }
        const auto found = value_.find(key);
        const std::string path = path_ + "." + std::string(key);
        if (found == value_.end()) {
            throw BadRequest(fmt::format("{} is missing", path));
        }
        return Field(*found, path);
    }

    std::vector<Field> Elements() const
    {
        if (!value_.is_array()) {
            Refuse("a JSON array");
        }
        std::vector<Field> elements;
        elements.reserve(value_.size());
        for (std::size_t index = 0; index < value_.size(); ++index) {
            elements.emplace_back(value_[index], fmt::format("{}[{}]", path_, index));
        }
        return elements;
    }

    std::string String() const
    {
        if (!value_.is_string()) {
            Refuse("a string");
        }
        return value_.get<std::string>();
    }

    std::int64_t Integer(std::int64_t min, std::int64_t max, std::string_view what) const
    {
        const bool fits =
            value_.is_number_unsigned()
                ? value_.get<std::uint64_t>() <= static_cast<std::uint64_t>(max)
                : value_.is_number_integer() && value_.get<std::int64_t>() >= min &&
                      value_.get<std::int64_t>() <= max;
        if (!fits) {
            Refuse(what);
        }
        return value_.get<std::int64_t>();
    }

    std::int32_t Int32() const
    {
        return static_cast<std::int32_t>(Integer(Int32Min, Int32Max, "a signed 32-bit integer"));
    }

    std::uint8_t Byte() const
    {
        return static_cast<std::uint8_t>(Integer(0, 255, "an integer from 0 to 255"));
    }

    std::uint64_t Unsigned64() const
    {
        if (!value_.is_number_unsigned()) {
            Refuse("an unsigned 64-bit integer");
        }
        return value_.get<std::uint64_t>();
    }

private:
    [[noreturn]] void Refuse(std::string_view what) const
    {
        throw BadRequest(fmt::format("{} must be {}", path_, what));
    }

    const json& value_;
    std::string path_;
};

Product ReadProduct(const Field& field)
{
    json attributes = json::array();
    for (const Field& attribute : field.Member("Attributes").Elements()) {
        attributes.push_back({{"Key", attribute.Member("Key").String()},
                              {"Value", attribute.Member("Value").String()}});
    }
    Product product;
    product.instanceId = field.Member("InstanceID").Unsigned64();
    product.json = {
        {"Attributes", std::move(attributes)},
        {"ID", field.Member("ID").Int32()},
        {"InstanceID", product.instanceId},
        {"Quality", field.Member("Quality").Byte()},
        {"SeriesID", field.Member("SeriesID").Int32()},
        {"TradeHold", field.Member("TradeHold").Int32()},
    };
    return product;
}

std::vector<Product> ReadProducts(const Field& field)
{
    std::vector<Product> products;
    for (const Field& element : field.Elements()) {
        products.push_back(ReadProduct(element));
    }
    return products;
}

json ProductsJson(const Field& field)
{
    json products = json::array();
    for (Product& product : ReadProducts(field)) {
        products.push_back(std::move(product.json));
    }
    return products;
}

json ReadTeam(const Field& team)
{
    return {
        {"accent_finish_id", team.Member("accent_finish_id").Int32()},
        {"accent_paint_color_id", team.Member("accent_paint_color_id").Byte()},
        {"items", ProductsJson(team.Member("items"))},
        {"primary_finish_id", team.Member("primary_finish_id").Int32()},
        {"primary_paint_color_id", team.Member("primary_paint_color_id").Byte()},
    };
}

json ReadTradeSide(const Field& side)
{
    json currency = json::array();
    for (const Field& entry : side.Member("currency").Elements()) {
        currency.push_back({
            {"currency_id", entry.Member("currency_id").Integer(Int64Min, Int64Max, "an integer")},
            {"quantity", entry.Member("quantity").Integer(Int64Min, Int64Max, "an integer")},
        });
    }
    return {
        {"currency", std::move(currency)},
        {"id", side.Member("id").String()},
        {"items", ProductsJson(side.Member("items"))},
    };
}

}  // namespace

json ParseBody(const std::string& body)
{
    try {
        return json::parse(body);
    } catch (const json::exception& error) {
        // Parse errors and numbers out of range (1e400) alike.
        throw BadRequest(fmt::format("the body is not valid JSON: {}", error.what()));
    }
}

std::vector<Product> ReadInventory(const json& body)
{
    return ReadProducts(Field(body, "body"));
}

InventoryDiff ReadInventoryDiff(const json& body)
{
    const Field root(body, "body");
    InventoryDiff diff;
    diff.previousGuid = root.Member("previousGuid").String();
    diff.added = ReadProducts(root.Member("addedItems"));
    diff.removed = ReadProducts(root.Member("removedItems"));
    return diff;
}

json ReadLoadout(const json& body)
{
    const Field root(body, "body");
    const std::string name = root.Member("loadout_name").String();
    const std::vector<Field> teams = root.Member("teams").Elements();
    if (teams.size() != 2) {
        throw BadRequest(fmt::format("body.teams must hold exactly 2 teams, not {}", teams.size()));
    }
    return {{"loadout_name", name}, {"teams", {ReadTeam(teams[0]), ReadTeam(teams[1])}}};
}

std::int32_t ReadStatsRequest(const json& body)
{
    return Field(body, "body").Member("playlistID").Int32();
}

json ReadTrade(const json& body)
{
    const Field root(body, "body");
    const auto time = [&root](std::string_view key) {
        return root.Member(key).Integer(0, Int64Max, "a Unix time in seconds (unsigned integer)");
    };
    return {
        {"local_data", ReadTradeSide(root.Member("local_data"))},
        {"remote_data", ReadTradeSide(root.Member("remote_data"))},
        {"trade_end", time("trade_end")},
        {"trade_guid", root.Member("trade_guid").String()},
        {"trade_start", time("trade_start")},
    };
}

std::string ReadPartnerCheck(const json& body)
{
    return Field(body, "body").Member("trading_player_id").String();
}

}  // namespace qvxdev
