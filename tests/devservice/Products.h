#pragma once
// Request bodies as the plug-in writes them, for the tests.
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace qvxdev::testing {

inline nlohmann::json ProductJson(std::uint64_t instanceId, int id = 23)
{
    return {{"Attributes", {{{"Key", "ProductAttribute_Painted_TA"}, {"Value", "4"}}}},
            {"ID", id},
            {"InstanceID", instanceId},
            {"Quality", 3},
            {"SeriesID", 0},
            {"TradeHold", 0}};
}

inline nlohmann::json InventoryJson(const std::vector<std::uint64_t>& instanceIds)
{
    nlohmann::json items = nlohmann::json::array();
    for (const std::uint64_t id : instanceIds) {
        items.push_back(ProductJson(id));
    }
    return items;
}

inline nlohmann::json DiffJson(const std::string& previousGuid,
                               const std::vector<std::uint64_t>& added,
                               const std::vector<std::uint64_t>& removed)
{
    return {{"addedItems", InventoryJson(added)},
            {"previousGuid", previousGuid},
            {"removedItems", InventoryJson(removed)}};
}

// The InstanceIDs of a dumped inventory, in stored order.
inline std::vector<std::uint64_t> InstanceIds(const nlohmann::json& items)
{
    std::vector<std::uint64_t> ids;
    for (const nlohmann::json& item : items) {
        ids.push_back(item.at("InstanceID").get<std::uint64_t>());
    }
    return ids;
}

inline nlohmann::json TeamJson(std::vector<std::uint64_t> items)
{
    return {{"accent_finish_id", 0},
            {"accent_paint_color_id", 0},
            {"items", InventoryJson(items)},
            {"primary_finish_id", 270},
            {"primary_paint_color_id", 12}};
}

inline nlohmann::json LoadoutJson()
{
    return {{"loadout_name", "Octane"}, {"teams", {TeamJson({1, 2}), TeamJson({})}}};
}

inline nlohmann::json TradeSideJson(const std::string& id, std::vector<std::uint64_t> items)
{
    return {{"currency", {{{"currency_id", 13}, {"quantity", 200}}}},
            {"id", id},
            {"items", InventoryJson(items)}};
}

inline nlohmann::json TradeJson()
{
    return {{"local_data", TradeSideJson("Steam|76561198012345678|0", {5})},
            {"remote_data", TradeSideJson("Steam|765611|0", {})},
            {"trade_end", 1700000100},
            {"trade_guid", "9F2C"},
            {"trade_start", 1700000000}};
}

}  // namespace qvxdev::testing
