#pragma once
// Fault injection for tests. Deterministic rules make an endpoint answer a chosen status instead
// of serving the request ("smartSync=500x2": the next two smartSync requests get 500;
// "loadout=401": every loadout request gets 401; "smartSync=429x1,retryAfter=60": one 429 that
// asks the client to wait a minute) and make an endpoint wait before answering
// ("stats=1500"); random rules (RandomFaults) fail a share of the requests, seeded. Rules come
// from the command line at start and from the /dev routes later. Several deterministic rules for
// one endpoint are used in the order given; a rule without a count never runs out, so rules after
// it for the same endpoint never apply. A deterministic rule that applies wins over a random one.
// Every fault injected is counted, per endpoint and kind, for GET /dev/state.
//
// Threads: every operation may be called from any thread; one mutex guards the rules, the
// random generators and the counters, and a condition variable lets Shutdown wake every request
// that is waiting out a delay.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/qvx-devservice/Endpoint.h"
#include "tools/qvx-devservice/RandomFaults.h"
#include "tools/qvx-devservice/RuleText.h"

namespace qvxdev {

struct FaultRule {
    Endpoint endpoint = Endpoint::SmartSync;
    int status = 500;
    std::optional<int> count;  // none: every request from now on
    // With 429 or 503 only: how long the answer asks the client to wait before it tries again.
    std::optional<int> retryAfterSeconds;
};

struct DelayRule {
    Endpoint endpoint = Endpoint::SmartSync;
    std::chrono::milliseconds delay{0};
};

constexpr int MinFaultStatus = 200;
constexpr int MaxFaultStatus = 599;
constexpr int MaxRetryAfterSeconds = 86400;

// The form of a fault rule, as the flag, /dev/fail and the refusals show it.
inline constexpr std::string_view FaultRuleForm = "ENDPOINT=STATUS[xCOUNT][,retryAfter=SECONDS]";
// A rule of that form; throws std::invalid_argument saying what is wrong.
FaultRule ParseFaultRule(const std::string& text);
// "ENDPOINT=MS"; 0 removes the delay. Throws std::invalid_argument saying what is wrong.
DelayRule ParseDelayRule(const std::string& text);

// Everything the command line asks for; Reset returns to it.
struct FaultPlan {
    std::vector<FaultRule> faults;
    std::vector<DelayRule> delays;
    RandomFaultPlan random;
};

// What to do with one request, after waiting out `delay`.
struct FaultDecision {
    enum class Action {
        Serve,   // serve it
        Answer,  // answer `status` instead of serving it
        Drop,    // close the connection without an answer; not served
        Lose,    // serve it, then close the connection without the answer
    };
    Action action = Action::Serve;
    int status = 0;
    std::optional<int> retryAfterSeconds;  // Answer: the wait the answer asks for
    std::chrono::milliseconds delay{0};
    // smartSync: when served and answered 200, give the account a new guid afterwards.
    bool expireGuid = false;
};

class FaultInjector {
public:
    explicit FaultInjector(FaultPlan plan = {});

    void AddFault(const FaultRule& rule);
    void SetDelay(const DelayRule& rule);
    void ChangeRandomFaults(const RandomFaultChange& change);

    // Decides what becomes of the next request to endpoint (using up one count of the first
    // deterministic rule that applies) and counts the fault it gets.
    FaultDecision Decide(Endpoint endpoint);

    // Counts a guid expiry that Decide asked for and that was carried out.
    void CountGuidExpiry();

    // Waits out a delay; returns early once Shutdown has been called.
    void Wait(std::chrono::milliseconds delay);

    // Back to the plan given at construction: its rules, its seed, no counts.
    void Reset();

    // Ends every current and future Wait at once, so the server can stop without waiting.
    void Shutdown();

    // {"faults": {ENDPOINT: [{"status", "remaining"[, "retryAfter"]}]}, "delays": {ENDPOINT: ms},
    //  "randomFaults": RandomFaults::Describe(), "injectedFaults": {"total": n,
    //  "byEndpoint": {ENDPOINT: {KIND: n}}}}; "remaining" is null for a rule that never runs
    // out; KIND is a status ("500"), "drop", "lose", "delay" or "expireGuid".
    nlohmann::json Describe() const;

private:
    void Load();  // under mutex_
    std::optional<FaultRule> TakeFault(Endpoint endpoint);  // under mutex_
    void Count(Endpoint endpoint, const std::string& kind);  // under mutex_

    const FaultPlan plan_;
    mutable std::mutex mutex_;
    std::condition_variable shutdown_;
    bool stopping_ = false;
    std::map<Endpoint, std::deque<FaultRule>> faults_;
    std::map<Endpoint, std::chrono::milliseconds> delays_;
    RandomFaults random_;
    std::map<Endpoint, std::map<std::string, std::int64_t>> injected_;
};

}  // namespace qvxdev
