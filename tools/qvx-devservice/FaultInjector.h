#pragma once
// Fault injection for tests: makes an endpoint answer a chosen status instead of serving the
// request ("smartSync=500x2": the next two smartSync requests get 500; "loadout=401": every
// loadout request gets 401), and makes an endpoint wait before answering ("stats=1500").
// Rules come from --fail and --delay at start and from POST /dev/fail and /dev/delay later.
// Several fault rules for one endpoint are used in the order given; a rule without a count
// never runs out, so rules after it for the same endpoint never apply.
//
// Threads: every operation may be called from any thread; one mutex guards the rules, and a
// condition variable lets Shutdown wake every request that is waiting out a delay.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "tools/qvx-devservice/Endpoint.h"

namespace qvxdev {

struct FaultRule {
    Endpoint endpoint = Endpoint::SmartSync;
    int status = 500;
    std::optional<int> count;  // none: every request from now on
};

struct DelayRule {
    Endpoint endpoint = Endpoint::SmartSync;
    std::chrono::milliseconds delay{0};
};

constexpr int MinFaultStatus = 200;
constexpr int MaxFaultStatus = 599;
constexpr std::chrono::milliseconds MaxDelay{600000};

// "ENDPOINT=STATUS" or "ENDPOINT=STATUSxCOUNT"; throws std::invalid_argument saying what is
// wrong.
FaultRule ParseFaultRule(const std::string& text);
// "ENDPOINT=MS"; 0 removes the delay. Throws std::invalid_argument saying what is wrong.
DelayRule ParseDelayRule(const std::string& text);

class FaultInjector {
public:
    void AddFault(const FaultRule& rule);
    void SetDelay(const DelayRule& rule);

    // The status the next request to endpoint must get instead of being served, using up one
    // count of the first rule for it; none when no rule applies.
    std::optional<int> TakeFault(Endpoint endpoint);

    // Waits out the endpoint's delay; returns early once Shutdown has been called.
    void Delay(Endpoint endpoint);

    // Ends every current and future Delay at once, so the server can stop without waiting.
    void Shutdown();

    // {"faults": {ENDPOINT: [{"status", "remaining"}]}, "delays": {ENDPOINT: ms}}; "remaining"
    // is null for a rule that never runs out.
    nlohmann::json Describe() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable shutdown_;
    bool stopping_ = false;
    std::map<Endpoint, std::deque<FaultRule>> faults_;
    std::map<Endpoint, std::chrono::milliseconds> delays_;
};

}  // namespace qvxdev
