// Commands that play a trade in the game's trade lobby: opening it, each side's offer, sending and
// completing it, in any order, and a host that cannot give the trade.
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "sim/game/Functions.h"
#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"
#include "tools/plexar-sim/commands/GameJson.h"

namespace plexarsim {
namespace {

namespace function = sim::game::function;

// The trade as the scenario has described it so far. The game's lobby is rebuilt from it after
// every change, and emptied while the trade is unavailable.
class TradeTable {
public:
    void Open(std::string partnerId, sim::game::ItemsStore& items)
    {
        ++opened_;
        trade_ = sim::game::Trade{};
        trade_->partnerId = std::move(partnerId);
        // A distinct, recognisable GUID per trade of the session.
        trade_->guid = {0x7A0E0000u + opened_, 0x51AB2025u, 0x0C0FFEE0u, 0xD15C0000u + opened_};
        Publish(items);
    }

    sim::game::Trade& Current()
    {
        if (!trade_) {
            throw std::runtime_error("no trade is open (trade open PARTNER_ID first)");
        }
        return *trade_;
    }

    void Close(sim::game::ItemsStore& items)
    {
        trade_.reset();
        Publish(items);
    }

    void SetAvailable(bool available, sim::game::ItemsStore& items)
    {
        available_ = available;
        Publish(items);
    }

    void Publish(sim::game::ItemsStore& items) const
    {
        if (trade_ && available_) {
            items.OpenTrade(*trade_);
        } else {
            items.CloseTrade();
        }
    }

private:
    std::optional<sim::game::Trade> trade_;
    bool available_ = true;
    std::uint32_t opened_ = 0;
};

struct Offer {
    bool local = true;
    std::vector<ProductDescription> items;
    std::vector<TradeWrapper::Currency> currency;
};

Offer ParseOffer(std::string_view arguments)
{
    const auto split = arguments.find_first_of(" \t");
    const std::string_view side = arguments.substr(0, split);
    if (side != "local" && side != "remote") {
        throw std::invalid_argument(fmt::format("expected local or remote, then JSON; got '{}'", side));
    }
    Offer offer;
    offer.local = side == "local";
    const nlohmann::json json =
        ParseJsonArgument(split == std::string_view::npos ? std::string_view() : Trim(arguments.substr(split)));
    if (!json.is_object()) {
        throw std::invalid_argument("expected an offer object {\"items\": [...], \"currency\": [...]}");
    }
    ExpectKeys(json, "items, currency", "offer");
    for (const char* key : {"items", "currency"}) {
        if (json.contains(key) && !json.at(key).is_array()) {
            throw std::invalid_argument(fmt::format("offer.{}: expected an array", key));
        }
    }
    const nlohmann::json none = nlohmann::json::array();
    const nlohmann::json& items = json.contains("items") ? json.at("items") : none;
    for (std::size_t index = 0; index < items.size(); ++index) {
        offer.items.emplace_back(items[index], fmt::format("offer.items[{}]", index));
    }
    const nlohmann::json& currency = json.contains("currency") ? json.at("currency") : none;
    for (std::size_t index = 0; index < currency.size(); ++index) {
        const std::string where = fmt::format("offer.currency[{}]", index);
        const nlohmann::json& amount = currency[index];
        if (!amount.is_object() || !amount.contains("id") || !amount.contains("quantity")) {
            throw std::invalid_argument(where + ": expected {\"id\": N, \"quantity\": N}");
        }
        ExpectKeys(amount, "id, quantity", where);
        offer.currency.push_back({ReadInteger<std::int32_t>(amount.at("id"), where + ".id"),
                                  ReadInteger<std::int32_t>(amount.at("quantity"), where + ".quantity")});
    }
    return offer;
}

void PlaceOffer(const Offer& offer, TradeTable& table, sim::Host& host)
{
    sim::game::Trade& trade = table.Current();
    std::vector<sim::game::Product> products;
    for (const ProductDescription& item : offer.items) {
        products.push_back(item.Resolve(host));
    }
    (offer.local ? trade.sending : trade.receiving) = std::move(products);
    (offer.local ? trade.sendingCurrency : trade.receivingCurrency) = offer.currency;
    table.Publish(host.GetWorld().Items());
}

}  // namespace

void AddTradeCommands(CommandRegistry& commands)
{
    // Shared by every trade step of the scenario.
    auto table = std::make_shared<TradeTable>();
    const auto items = [](Session& session) -> sim::game::ItemsStore& { return session.host.GetWorld().Items(); };

    commands.Add({"trade open", "PARTNER_ID",
                  "Opens a trade with the partner (\"Platform|AccountId|0\"), both offers empty, and plays "
                  "HandleAcceptedInviteToTrade.",
                  [table, items](const std::string& arguments) -> StepAction {
                      const std::string partner = ParseText(arguments);
                      return [table, items, partner](Session& session) {
                          table->Open(partner, items(session));
                          session.host.CallFunction(function::HandleAcceptedInviteToTrade);
                      };
                  }});
    commands.Add({"trade offer", "local|remote JSON",
                  fmt::format("Replaces what the local player (local) or the partner (remote) offers in the open "
                              "trade: {{\"items\": [PRODUCT...], \"currency\": [{{\"id\": N, \"quantity\": N}}...]}}; "
                              "PRODUCT keys: {}.",
                              ProductDescription::Keys),
                  [table](const std::string& arguments) -> StepAction {
                      const auto offer = std::make_shared<const Offer>(ParseOffer(arguments));
                      return [table, offer](Session& session) { PlaceOffer(*offer, *table, session.host); };
                  }});
    commands.Add({"trade send", "", "Plays SendTradeToBackEnd, whatever the lobby holds.",
                  [](const std::string& arguments) -> StepAction {
                      ExpectNoArguments(arguments);
                      return [](Session& session) { session.host.CallFunction(function::SendTradeToBackEnd); };
                  }});
    commands.Add({"trade complete", "",
                  "Plays HandleTradePlayerComplete, whatever the lobby holds, then closes the trade.",
                  [table, items](const std::string& arguments) -> StepAction {
                      ExpectNoArguments(arguments);
                      return [table, items](Session& session) {
                          session.host.CallFunction(function::HandleTradePlayerComplete);
                          table->Close(items(session));
                      };
                  }});
    for (const bool available : {false, true}) {
        commands.Add({available ? "trade available" : "trade unavailable", "",
                      available ? "The host gives the open trade again."
                                : "The host cannot give the trade (a null trade wrapper) until trade available; "
                                  "the trade and its offers are kept.",
                      [table, items, available](const std::string& arguments) -> StepAction {
                          ExpectNoArguments(arguments);
                          return [table, items, available](Session& session) {
                              table->SetAvailable(available, items(session));
                          };
                      }});
    }
}

}  // namespace plexarsim
