// Commands that change the player's current loadout.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include <fmt/format.h>

#include "tools/plexar-sim/commands/Commands.h"
#include "tools/plexar-sim/commands/GameJson.h"

namespace plexarsim {
namespace {

// A catalogue product: a kind of item the player need not own.
struct CatalogueItem {
    std::int32_t id;
    std::uint8_t quality;
};

// One slot: an id as it is, an owned item, or a catalogue product.
using Slot = std::variant<std::uint64_t, ProductDescription, CatalogueItem>;

struct TeamDescription {
    std::vector<Slot> slots;
    sim::game::Loadout colours;  // the paint and finish ids; its items are filled from `slots`
};

struct LoadoutDescription {
    std::string name;
    // Empty: the team has no loadout.
    std::array<std::optional<TeamDescription>, 2> teams;
};

constexpr const char* TeamIdKeys = "primary_paint_color_id, accent_paint_color_id, primary_finish_id, accent_finish_id";
const std::string TeamKeys = std::string("items, ") + TeamIdKeys;

Slot ReadSlot(const nlohmann::json& json, const std::string& where)
{
    if (!json.is_object()) {
        return ReadInteger<std::uint64_t>(json, where);
    }
    if (json.contains("instance")) {
        return ProductDescription(json, where);
    }
    ExpectKeys(json, "id, quality", where);
    if (!json.contains("id")) {
        throw std::invalid_argument(where + ": \"id\" is missing");
    }
    return CatalogueItem{ReadInteger<std::int32_t>(json.at("id"), where + ".id"),
                         ReadIntegerOr<std::uint8_t>(json, "quality", 0, where)};
}

std::optional<TeamDescription> ReadTeam(const nlohmann::json& json, const std::string& where)
{
    if (json.is_null()) {
        return std::nullopt;
    }
    if (!json.is_object()) {
        throw std::invalid_argument(where + ": expected a team object or null");
    }
    ExpectKeys(json, TeamKeys, where);
    TeamDescription team;
    if (json.contains("items")) {
        const nlohmann::json& items = json.at("items");
        if (!items.is_array()) {
            throw std::invalid_argument(where + ".items: expected an array");
        }
        for (std::size_t index = 0; index < items.size(); ++index) {
            team.slots.push_back(ReadSlot(items[index], fmt::format("{}.items[{}]", where, index)));
        }
    }
    team.colours.primaryPaintColorId = ReadIntegerOr<std::uint8_t>(json, "primary_paint_color_id", 0, where);
    team.colours.accentPaintColorId = ReadIntegerOr<std::uint8_t>(json, "accent_paint_color_id", 0, where);
    team.colours.primaryFinishId = ReadIntegerOr<std::int32_t>(json, "primary_finish_id", 0, where);
    team.colours.accentFinishId = ReadIntegerOr<std::int32_t>(json, "accent_finish_id", 0, where);
    return team;
}

LoadoutDescription ReadLoadout(const std::string& arguments)
{
    const nlohmann::json json = ParseJsonArgument(arguments);
    if (!json.is_object()) {
        throw std::invalid_argument("expected a loadout object {\"name\": ..., \"teams\": [TEAM, TEAM]}");
    }
    ExpectKeys(json, "name, teams", "loadout");
    LoadoutDescription loadout;
    if (json.contains("name")) {
        if (!json.at("name").is_string()) {
            throw std::invalid_argument("loadout.name: expected a text");
        }
        loadout.name = json.at("name").get<std::string>();
    }
    if (!json.contains("teams") || !json.at("teams").is_array() || json.at("teams").size() != 2) {
        throw std::invalid_argument("loadout.teams: expected an array of two teams (a team may be null)");
    }
    for (std::size_t team = 0; team < 2; ++team) {
        loadout.teams[team] = ReadTeam(json.at("teams")[team], fmt::format("loadout.teams[{}]", team));
    }
    return loadout;
}

// The id the slot holds in the game, adding what it names to the game first.
std::uint64_t PlaceSlot(const Slot& slot, sim::Host& host)
{
    sim::game::ItemsStore& items = host.GetWorld().Items();
    if (const auto* id = std::get_if<std::uint64_t>(&slot)) {
        return *id;
    }
    if (const auto* owned = std::get_if<ProductDescription>(&slot)) {
        if (items.FindOwnedProduct(owned->InstanceId()) == nullptr) {
            items.AddOwnedProduct(owned->Resolve(host));
        }
        return owned->InstanceId();
    }
    const auto& catalogue = std::get<CatalogueItem>(slot);
    items.AddCatalogueProduct(catalogue.id, catalogue.quality);
    // The game's slot list widens catalogue ids to 64 bits.
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(catalogue.id));
}

void Apply(const LoadoutDescription& loadout, sim::Host& host)
{
    sim::game::ItemsStore& items = host.GetWorld().Items();
    items.SetLoadoutName(loadout.name);
    for (int team = 0; team < 2; ++team) {
        const auto& description = loadout.teams[static_cast<std::size_t>(team)];
        if (!description) {
            items.RemoveLoadout(team);
            continue;
        }
        sim::game::Loadout placed = description->colours;
        for (const Slot& slot : description->slots) {
            placed.items.push_back(PlaceSlot(slot, host));
        }
        items.SetLoadout(team, std::move(placed));
    }
}

}  // namespace

void AddLoadoutCommands(CommandRegistry& commands)
{
    commands.Add({"loadout set", "JSON",
                  fmt::format("Sets the current loadout: {{\"name\": TEXT, \"teams\": [TEAM, TEAM]}}, a null TEAM "
                              "having no loadout. TEAM: {{\"items\": [SLOT...]}} and the numbers {}. SLOT: an id as it is (0 is "
                              "empty), an owned item {{\"instance\": N, ...}} (keys: {}; added to the inventory when "
                              "not owned), or a catalogue product {{\"id\": N, \"quality\": N}}.",
                              TeamIdKeys, ProductDescription::Keys),
                  [](const std::string& arguments) -> StepAction {
                      const auto loadout = std::make_shared<const LoadoutDescription>(ReadLoadout(arguments));
                      return [loadout](Session& session) { Apply(*loadout, session.host); };
                  }});
}

}  // namespace plexarsim
