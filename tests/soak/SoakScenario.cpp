#include "tests/soak/SoakScenario.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

namespace soak {
namespace {

using nlohmann::json;

// Partners in good standing, banned for the terms (a toast, no modal) and unknown to the service.
const char* const Partners[] = {"Steam|76561190000000200|0", "Steam|76561190000000451|0",
                                "Epic|soak-partner|0", "Steam|76561190000012345|0"};

// A product as `item add` takes it, in the plug-in's form that `inventory load` reads.
json ProductForm(const json& product)
{
    json attributes = json::array();
    for (const json& attribute : product.value("attributes", json::array())) {
        const std::string& type = attribute["class"].get_ref<const std::string&>();
        if (type == "ProductAttribute_Painted_TA") {
            attributes.push_back({{"Key", "Painted"}, {"Value", std::to_string(attribute["value"].get<int>())}});
        } else if (type == "ProductAttribute_Certified_TA") {
            attributes.push_back({{"Key", "CertifiedValue"}, {"Value", std::to_string(attribute["statValue"].get<int>())}});
            attributes.push_back({{"Key", "Certified"}, {"Value", std::to_string(attribute["value"].get<int>())}});
        } else {
            attributes.push_back({{"Key", "TitleID"}, {"Value", attribute["name"]}});
        }
    }
    return {{"ID", product["id"]},
            {"SeriesID", product.value("series", 0)},
            {"TradeHold", product.value("tradeHold", 0)},
            {"InstanceID", product["instance"]},
            {"Quality", product["quality"]},
            {"Attributes", attributes}};
}

// Virtual seconds as the journal stamps them, to the millisecond.
double Stamp(double seconds)
{
    return std::round(seconds * 1000) / 1000;
}

}  // namespace

SoakScenario::SoakScenario(SoakOptions options) : options_(std::move(options)), random_(options_.seed)
{
    if (options_.hours <= 0 || options_.hours > 10000) {
        throw std::invalid_argument(fmt::format("hours must be above 0 and at most 10000, got {}", options_.hours));
    }
    if (options_.workDir.empty() || options_.workDir.front() != '/') {
        throw std::invalid_argument("the work folder must be an absolute path");
    }
}

std::uint64_t SoakScenario::Below(std::uint64_t bound)
{
    return random_() % bound;
}

double SoakScenario::Uniform()
{
    return static_cast<double>(random_() >> 11) * 0x1.0p-53;
}

double SoakScenario::LogUniform(double low, double high)
{
    return low * std::exp(Uniform() * std::log(high / low));
}

bool SoakScenario::Chance(double probability)
{
    return Uniform() < probability;
}

void SoakScenario::Emit(const std::string& line)
{
    lines_.push_back(line);
}

void SoakScenario::Wait(double seconds)
{
    // Whole milliseconds, so that the scenario says exactly how long the model thinks it waits.
    const long long ms = std::llround(seconds * 1000);
    if (ms > 0) {
        Emit(fmt::format("wait {}ms", ms));
        now_ += static_cast<double>(ms) / 1000;
    }
}

void SoakScenario::Count(const std::string& kind)
{
    ++counts_[kind];
}

int SoakScenario::EventCount() const
{
    int events = 0;
    for (const auto& [kind, count] : counts_) {
        events += count;
    }
    return events;
}

json SoakScenario::NewProduct()
{
    json product = {{"id", 1 + Below(9000)}, {"instance", ++nextInstance_}, {"quality", Below(9)}};
    if (Chance(0.3)) {
        product["series"] = Below(40);
    }
    if (Chance(0.1)) {
        product["tradeHold"] = -1;
    }
    switch (Below(8)) {
    case 0:
        product["attributes"] = json::array({{{"class", "ProductAttribute_Painted_TA"}, {"value", 1 + Below(14)}}});
        break;
    case 1:
        product["attributes"] = json::array(
            {{{"class", "ProductAttribute_Certified_TA"}, {"value", 1 + Below(16)}, {"statValue", Below(1000)}}});
        break;
    case 2:
        product["attributes"] =
            json::array({{{"class", "ProductAttribute_TitleID_TA"}, {"name", fmt::format("SOAK TITLE {}", Below(50))}}});
        break;
    default:
        break;
    }
    return product;
}

std::uint64_t SoakScenario::AnyOwned()
{
    return owned_[Below(owned_.size())];
}

void SoakScenario::Own(const json& product)
{
    const auto instance = product["instance"].get<std::uint64_t>();
    owned_.push_back(instance);
    productIds_[instance] = product["id"].get<std::uint64_t>();
}

void SoakScenario::Disown(std::uint64_t instance)
{
    owned_.erase(std::find(owned_.begin(), owned_.end(), instance));
    productIds_.erase(instance);
}

// Between two actions of one occasion: often at once, otherwise up to a few seconds, so that
// bursts meet the debounce, the cooldown and requests in flight.
void SoakScenario::ReceiveBurst()
{
    const std::uint64_t count = Chance(0.1) ? 10 + Below(31) : 1 + Below(6);
    for (std::uint64_t i = 0; i < count; ++i) {
        const json product = NewProduct();
        Emit(fmt::format("item {} {}", Chance(0.2) ? "add-silent" : "add", product.dump()));
        Own(product);
        Count("received");
        Wait(Chance(0.3) ? 0 : LogUniform(0.1, 4));
    }
}

void SoakScenario::RemoveBurst()
{
    const std::uint64_t count = std::min<std::uint64_t>(1 + Below(5), owned_.size() - 1);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t index = Below(owned_.size());
        const std::uint64_t instance = owned_[index];
        Emit(fmt::format("item remove {}", instance));
        Disown(instance);
        Count("removed");
        Wait(Chance(0.3) ? 0 : LogUniform(0.1, 4));
    }
}

// A trade in the lobby, then the game moves the items: the player's offer leaves the inventory
// and the partner's arrives.
void SoakScenario::Trade()
{
    ++trades_;
    const std::string partner = Partners[Below(std::size(Partners))];
    Emit(fmt::format("trade open {}", partner));
    Wait(LogUniform(0.5, 20));

    std::vector<std::uint64_t> given;
    const std::uint64_t giveCount = std::min<std::uint64_t>(Below(4), owned_.size() - 1);
    while (given.size() < giveCount) {
        const std::uint64_t instance = AnyOwned();
        if (std::find(given.begin(), given.end(), instance) == given.end()) {
            given.push_back(instance);
        }
    }
    json localItems = json::array();
    for (const std::uint64_t instance : given) {
        localItems.push_back({{"id", productIds_.at(instance)}, {"instance", instance}});
    }
    json remoteItems = json::array();
    const std::uint64_t takeCount = 1 + Below(3);
    for (std::uint64_t i = 0; i < takeCount; ++i) {
        remoteItems.push_back(NewProduct());
    }
    json currency = json::array();
    if (Chance(0.3)) {
        currency.push_back({{"id", 13}, {"quantity", 1 + Below(500)}});
    }
    Emit(fmt::format("trade offer local {}", json{{"items", localItems}, {"currency", json::array()}}.dump()));
    Emit(fmt::format("trade offer remote {}", json{{"items", remoteItems}, {"currency", currency}}.dump()));
    Emit("trade send");
    Wait(LogUniform(0.2, 5));
    Emit("trade complete");
    Count("trades");

    json received = json::array();
    for (const json& item : remoteItems) {
        received.push_back(item["instance"]);
    }
    const json record = {{"number", trades_}, {"partner", partner}, {"remoteInstances", received}, {"at", Stamp(now_)}};
    (tradeLoggingOn_ ? expectedTrades_ : unloggedTrades_).push_back(record);

    Wait(Chance(0.5) ? 0 : LogUniform(0.1, 3));
    for (const std::uint64_t instance : given) {
        Emit(fmt::format("item remove {}", instance));
        Disown(instance);
        Count("removed");
    }
    for (const json& item : remoteItems) {
        Emit(fmt::format("item add {}", item.dump()));
        Own(item);
        Count("received");
    }
}

// The game is left and started again with the same host folder. The markers around the time the
// plug-in is gone let soak.sh find console lines of a destroyed object. The game is gone for at
// least 5 s, so the start-up sync (5 s after load) keeps 10 s from the last upload before.
void SoakScenario::Restart(double downSeconds)
{
    ++restarts_;
    Emit("delete");
    Emit(fmt::format("console cvarlist soak-deleted-{}", restarts_));
    Wait(std::max(5.0, downSeconds));
    Emit(fmt::format("console cvarlist soak-loading-{}", restarts_));
    Emit("load");
    Count("restarts");
}

void SoakScenario::ManualSync()
{
    Emit("settings click Sync Inventory");
    Count("manualSyncs");
}

void SoakScenario::ToggleInventorySync()
{
    inventorySyncOn_ = !inventorySyncOn_;
    Emit(Chance(0.5) ? fmt::format("console qvx_inventorysync_enable {}", inventorySyncOn_ ? 1 : 0)
                     : std::string("settings click Enable inventory sync"));
    Count("inventorySyncToggles");
}

void SoakScenario::ToggleTradeLogging()
{
    tradeLoggingOn_ = !tradeLoggingOn_;
    Emit(Chance(0.5) ? fmt::format("console qvx_tradesync_enable {}", tradeLoggingOn_ ? 1 : 0)
                     : std::string("settings click Enable trade logging"));
    Count("tradeLoggingToggles");
}

// One occasion after a pause: mostly short pauses (bursts close together), sometimes minutes,
// now and then hours (every retry delay runs out).
void SoakScenario::NextEvent()
{
    const double pause = Uniform();
    Wait(pause < 0.82 ? LogUniform(0.5, 45) : pause < 0.98 ? LogUniform(45, 900) : LogUniform(900, 5400));

    const std::uint64_t pick = Below(100);
    if (pick < 32) {
        ReceiveBurst();
    } else if (pick < 52) {
        RemoveBurst();
    } else if (pick < 66) {
        Trade();
    } else if (pick < 78) {
        ManualSync();
    } else if (pick < 84 || (!inventorySyncOn_ && pick < 90)) {
        ToggleInventorySync();
    } else if (pick < 93) {
        ToggleTradeLogging();
    } else {
        Restart(Chance(0.6) ? LogUniform(5, 60) : LogUniform(60, 1800));
    }
    // A restart at a random moment: right after whatever just happened, with its debounce,
    // requests or retries still pending.
    if (Chance(0.02)) {
        Restart(LogUniform(5, 120));
    }
}

void SoakScenario::Finish()
{
    if (!inventorySyncOn_) {
        ToggleInventorySync();
    }
    Emit("console cvarlist soak-quiet");
    Wait(QuietSeconds);
    Emit(fmt::format("inventory save {}/{}", options_.workDir, SoakFiles::Game));
    Emit("delete");
    Emit("console cvarlist soak-end");
    Wait(60);
}

void SoakScenario::Write(std::ostream& scenario, std::ostream& initialInventory, std::ostream& expected)
{
    json initial = json::array();
    const std::uint64_t startCount = 50 + Below(150);
    for (std::uint64_t i = 0; i < startCount; ++i) {
        const json product = NewProduct();
        initial.push_back(ProductForm(product));
        Own(product);
    }
    initialInventory << initial.dump(4) << '\n';

    Emit(fmt::format("# Soak session: seed {}, {} simulated hours (written by qvx_soak_scenario)", options_.seed,
                     options_.hours));
    Emit(fmt::format("inventory load {}/{}", options_.workDir, SoakFiles::Initial));
    Wait(0.5);
    Emit(fmt::format("ws-send --expect OK {}", json{{"UserCode", options_.userCode}}.dump()));
    // At least 2,000 events a simulated day: a seed whose pauses came out long plays on a little.
    const double end = options_.hours * 3600;
    const double fewestEvents = MinEventsPerDay * options_.hours / 24;
    while (now_ < end || EventCount() < fewestEvents) {
        NextEvent();
    }
    Finish();

    for (const std::string& line : lines_) {
        scenario << line << '\n';
    }
    expected << json{{"seed", options_.seed},
                     {"hours", options_.hours},
                     {"userCode", options_.userCode},
                     {"events", EventCount()},
                     {"counts", counts_},
                     {"initialItems", startCount},
                     {"simulatedSeconds", Stamp(now_)},
                     {"loggedTrades", expectedTrades_},
                     {"unloggedTrades", unloggedTrades_}}
                    .dump(2)
             << '\n';
}

}  // namespace soak
