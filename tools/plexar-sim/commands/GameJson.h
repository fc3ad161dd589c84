#pragma once
// Readers for the JSON arguments of the game commands (loadouts, trade offers). Each checks the
// whole value when the scenario is parsed and throws std::invalid_argument naming the place of the
// problem ("items[1].quality: expected an integer from 0 to 255, got 300"), so a bad scenario is
// refused before anything is played.
//
// Threads: pure functions, callable from any thread; Resolve runs on the game thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/Host.h"
#include "sim/game/Product.h"

namespace plexarsim {

// The argument text as JSON.
nlohmann::json ParseJsonArgument(std::string_view text);

// An owned product as a scenario writes it:
//   {"id": 23, "instance": 1001, "series": 0, "tradeHold": 0, "quality": 3, "label": "Octane",
//    "attributes": [{"class": "ProductAttribute_Painted_TA", "value": 2},
//                   {"class": "ProductAttribute_Certified_TA", "value": 5, "statValue": 120},
//                   {"class": "ProductAttribute_TitleID_TA", "name": "SKY LORD"}]}
// Only "id" is required. A title names its text; Resolve interns it in the host's name table.
class ProductDescription {
public:
    ProductDescription(const nlohmann::json& json, const std::string& where);

    std::uint64_t InstanceId() const { return product_.instanceId; }
    sim::game::Product Resolve(sim::Host& host) const;

    static constexpr const char* Keys = "id, instance, series, tradeHold, quality, label, attributes";

private:
    sim::game::Product product_;
    // Attribute index and title text, for the attributes that name a title.
    std::vector<std::pair<std::size_t, std::string>> titles_;
};

// Members of `object` other than `keys` (comma-separated) are refused, so a misspelt key is
// reported instead of silently ignored.
void ExpectKeys(const nlohmann::json& object, std::string_view keys, const std::string& where);

// An integer of T's range.
template <class T>
T ReadInteger(const nlohmann::json& value, const std::string& where);

// The member's value as T, or `fallback` when the object has no such member.
template <class T>
T ReadIntegerOr(const nlohmann::json& object, const char* key, T fallback, const std::string& where)
{
    return object.contains(key) ? ReadInteger<T>(object.at(key), where + "." + key) : fallback;
}

}  // namespace plexarsim
