#pragma once
// Writes the soak session: a seeded, randomised plexar-sim scenario of many simulated hours in
// which the player receives and loses items in bursts, trades, restarts the game, syncs by hand
// and switches inventory sync and trade logging off and on. It keeps a model of the game (owned
// items, switches, trades) so that every command it writes is valid, and reports what the
// service must hold at the end: the trades whose logging was on.
//
// The session ends with a quiet period, in which the service's faults go on, and with the game's
// inventory saved for the comparison.
//
// Threads: single-threaded (a command-line tool).
#include <cstdint>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace soak {

struct SoakOptions {
    std::uint64_t seed = 1;
    double hours = 24;
    std::string workDir;  // absolute; the scenario reads and writes its files here
    std::string userCode = "QVX-DEMO-1234";
};

// Files the scenario names, below SoakOptions::workDir.
struct SoakFiles {
    static constexpr const char* Initial = "initial-inventory.json";
    static constexpr const char* Game = "game-inventory.json";
};

// How long the session stays quiet before the comparison. The service still fails a tenth of the
// requests, and retries come at most 10 min apart: 3 h give what is still pending at least 18
// tries (all failing: one chance in 10^18), and any full resync an answer asks for (10.1 s) comes
// well within it.
constexpr double QuietSeconds = 3 * 3600;

constexpr double MinEventsPerDay = 2000;

class SoakScenario {
public:
    explicit SoakScenario(SoakOptions options);

    // Writes the scenario; the initial inventory and the expectations go to their own streams.
    void Write(std::ostream& scenario, std::ostream& initialInventory, std::ostream& expected);

private:
    // Seeded draws; std::mt19937_64 is the same everywhere, the helpers below use its output
    // directly so that a seed gives the same session on every standard library.
    std::uint64_t Below(std::uint64_t bound);
    double Uniform();               // [0, 1)
    double LogUniform(double low, double high);
    bool Chance(double probability);

    void Emit(const std::string& line);
    void Wait(double seconds);
    void Count(const std::string& kind);
    int EventCount() const;

    nlohmann::json NewProduct();           // a product the player does not own yet
    std::uint64_t AnyOwned();              // one owned instance id (the inventory is never empty)
    void Own(const nlohmann::json& product);  // product in the form of item add
    void Disown(std::uint64_t instance);

    void ReceiveBurst();
    void RemoveBurst();
    void Trade();
    void Restart(double downSeconds);
    void ManualSync();
    void ToggleInventorySync();
    void ToggleTradeLogging();
    void NextEvent();
    void Finish();

    SoakOptions options_;
    std::mt19937_64 random_;
    std::vector<std::string> lines_;
    double now_ = 0;                          // virtual seconds since the start
    std::uint64_t nextInstance_ = 900000000;  // instance ids handed out so far
    std::vector<std::uint64_t> owned_;        // the game's inventory, by instance id
    std::map<std::uint64_t, std::uint64_t> productIds_;  // product id of each owned instance
    bool inventorySyncOn_ = true;
    bool tradeLoggingOn_ = true;
    int restarts_ = 0;
    int trades_ = 0;
    nlohmann::json expectedTrades_ = nlohmann::json::array();  // completed with logging on
    nlohmann::json unloggedTrades_ = nlohmann::json::array();
    std::map<std::string, int> counts_;
};

}  // namespace soak
