// Commands that change what the player owns: products arriving (with or without the game's
// notification) and leaving, a generated inventory, and an items store the game cannot give.
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "sim/game/Functions.h"
#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"
#include "tools/plexar-sim/commands/GameJson.h"
#include "tools/plexar-sim/commands/ProductForm.h"

namespace plexarsim {
namespace {

namespace game = sim::game;

constexpr std::uint64_t FirstGeneratedInstance = 1'000'000'000;
constexpr std::size_t MaxGenerated = 1'000'000;
// An inventory file larger than this is refused unread.
constexpr std::uintmax_t MaxInventoryFileBytes = 1ull << 30;

nlohmann::json ReadJsonFile(const std::string& file)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error) {
        throw std::runtime_error(fmt::format("cannot read {}: {}", file, error.message()));
    }
    if (size > MaxInventoryFileBytes) {
        throw std::runtime_error(fmt::format("{} is {} bytes, more than the {} an inventory file may have", file, size,
                                             MaxInventoryFileBytes));
    }
    std::ifstream input(file);
    if (!input) {
        throw std::runtime_error(fmt::format("cannot read {}: {}", file, std::strerror(errno)));
    }
    try {
        return nlohmann::json::parse(input);
    } catch (const nlohmann::json::exception& failure) {
        throw std::runtime_error(fmt::format("{} is not JSON: {}", file, failure.what()));
    }
}

void WriteTextFile(const std::string& file, const std::string& text)
{
    std::ofstream output(file, std::ios::out | std::ios::trunc);
    if (!output || !(output << text << '\n') || !output.flush()) {
        throw std::runtime_error(fmt::format("cannot write {}: {}", file, std::strerror(errno)));
    }
}

std::uint64_t ParseUnsigned(std::string_view text, const char* what)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw std::invalid_argument(fmt::format("expected {} (an unsigned integer), got \"{}\"", what, text));
    }
    return value;
}

// A product arrives: owned from now on, then the game's hook with its address at offset 0.
StepAction AddProduct(const std::string& arguments, const char* hookedFunction)
{
    const auto description = std::make_shared<const ProductDescription>(ParseJsonArgument(arguments), "item");
    return [description, hookedFunction](Session& session) {
        auto& items = session.host.GetWorld().Items();
        if (items.FindOwnedProduct(description->InstanceId())) {
            throw std::runtime_error(fmt::format("instance {} is already owned", description->InstanceId()));
        }
        game::NewOnlineProductParams params;
        params.product = items.AddOwnedProduct(description->Resolve(session.host));
        session.host.CallFunction(hookedFunction, 0, &params);
    };
}

// A deterministic, realistic mix: most items plain, some painted, certified, special or team
// editions, blueprints and titles.
game::Product GeneratedProduct(std::mt19937_64& random, std::uint64_t instanceId, sim::Host& host)
{
    game::Product product;
    product.instanceId = instanceId;
    product.productId = static_cast<std::int32_t>(random() % 5000 + 1);
    product.seriesId = static_cast<std::int32_t>(random() % 40);
    product.tradeHold = random() % 10 == 0 ? -1 : 0;
    product.quality = static_cast<std::uint8_t>(random() % 9);
    product.longLabel = fmt::format("Item {}", product.productId);
    switch (random() % 20) {
    case 0: case 1: case 2: case 3:
        product.attributes.push_back(game::Attribute::Painted(static_cast<std::int32_t>(random() % 14 + 1)));
        break;
    case 4: case 5:
        product.attributes.push_back(game::Attribute::Certified(static_cast<std::int32_t>(random() % 16 + 1),
                                                                static_cast<std::int32_t>(random() % 1000)));
        break;
    case 6:
        product.attributes.push_back(game::Attribute::SpecialEdition(static_cast<std::int32_t>(random() % 5 + 1)));
        break;
    case 7:
        product.attributes.push_back(game::Attribute::TeamEdition(static_cast<std::int32_t>(random() % 60 + 1)));
        break;
    case 8:
        product.attributes.push_back(game::Attribute::Blueprint(static_cast<std::int32_t>(random() % 5000 + 1)));
        product.attributes.push_back(game::Attribute::BlueprintCost(static_cast<std::int32_t>(random() % 2000)));
        break;
    case 9:
        product.attributes.push_back(
            game::Attribute::Title(host.InternName(fmt::format("TITLE {}", random() % 100))));
        break;
    default:
        break;
    }
    return product;
}

}  // namespace

void AddInventoryCommands(CommandRegistry& commands)
{
    commands.Add({"item add", "JSON",
                  fmt::format("The player receives a product ({}), announced by OnNewOnlineProduct.",
                              ProductDescription::Keys),
                  [](const std::string& arguments) -> StepAction {
                      return AddProduct(arguments, game::function::OnNewOnlineProduct);
                  }});
    commands.Add({"item add-silent", "JSON", "As item add, announced by OnNewOnlineProductNoNotify.",
                  [](const std::string& arguments) -> StepAction {
                      return AddProduct(arguments, game::function::OnNewOnlineProductNoNotify);
                  }});
    commands.Add({"item remove", "INSTANCE_ID",
                  "The player loses the owned product; HandleRemovedOnlineProduct is called with it.",
                  [](const std::string& arguments) -> StepAction {
                      const std::uint64_t instanceId = ParseUnsigned(Trim(arguments), "an instance id");
                      return [instanceId](Session& session) {
                          auto removed = session.host.GetWorld().Items().RemoveOwnedProduct(instanceId);
                          if (!removed) {
                              throw std::runtime_error(fmt::format("instance {} is not owned", instanceId));
                          }
                          game::RemovedOnlineProductParams params;
                          params.product = removed->Address();
                          session.host.CallFunction(game::function::HandleRemovedOnlineProduct, 0, &params);
                      };
                  }});
    commands.Add({"inventory generate", "N [SEED]",
                  "Adds N generated products the player already owns (no hook is called); the same SEED "
                  "(default 1) gives the same products.",
                  [](const std::string& arguments) -> StepAction {
                      const std::string_view text = Trim(arguments);
                      const auto blank = text.find_first_of(" \t");
                      const std::uint64_t count = ParseUnsigned(text.substr(0, blank), "a count");
                      const std::uint64_t seed =
                          blank == std::string_view::npos ? 1 : ParseUnsigned(Trim(text.substr(blank)), "a seed");
                      if (count > MaxGenerated) {
                          throw std::invalid_argument(fmt::format("at most {} products", MaxGenerated));
                      }
                      return [count, seed](Session& session) {
                          std::mt19937_64 random(seed);
                          auto& items = session.host.GetWorld().Items();
                          for (std::uint64_t i = 0, instance = FirstGeneratedInstance + seed * MaxGenerated; i < count;
                               ++instance) {
                              if (!items.FindOwnedProduct(instance)) {
                                  items.AddOwnedProduct(GeneratedProduct(random, instance, session.host));
                                  ++i;
                              }
                          }
                      };
                  }});
    commands.Add({"inventory load", "FILE",
                  "The player owns exactly the products of the JSON file from now on (no hook is called): an "
                  "array of products in the plug-in's product form, or an inventory snapshot file (its \"items\").",
                  [](const std::string& arguments) -> StepAction {
                      const std::string file = ParseText(arguments);
                      return [file](Session& session) {
                          std::vector<game::Product> products;
                          try {
                              products = ReadProductForm(ReadJsonFile(file), session.host);
                          } catch (const std::invalid_argument& problem) {
                              throw std::runtime_error(fmt::format("{}: {}", file, problem.what()));
                          }
                          session.host.GetWorld().Items().ReplaceOwnedProducts(std::move(products));
                      };
                  }});
    commands.Add({"inventory save", "FILE",
                  "Writes the products the player owns to FILE, as a JSON array in the plug-in's product form.",
                  [](const std::string& arguments) -> StepAction {
                      const std::string file = ParseText(arguments);
                      return [file](Session& session) {
                          const auto products = session.host.GetWorld().Items().OwnedProducts();
                          WriteTextFile(file, WriteProductForm(products, session.host)
                                                  .dump(4, ' ', false, nlohmann::json::error_handler_t::replace));
                      };
                  }});
    commands.Add({"inventory unavailable", "", "The game cannot give its items store (as before it has loaded).",
                  [](const std::string& arguments) -> StepAction {
                      ExpectNoArguments(arguments);
                      return [](Session& session) { session.host.GetWorld().SetItemsAvailable(false); };
                  }});
    commands.Add({"inventory available", "", "The game gives its items store again.",
                  [](const std::string& arguments) -> StepAction {
                      ExpectNoArguments(arguments);
                      return [](Session& session) { session.host.GetWorld().SetItemsAvailable(true); };
                  }});
}

}  // namespace plexarsim
