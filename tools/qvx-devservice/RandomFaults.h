#pragma once
// Random, seeded faults for long randomised tests: each endpoint may fail a share of its
// requests ("smartSync=0.1:500,503,drop,lose,delay": a tenth of smartSync requests get one of
// the five outcomes, chosen evenly; name an outcome twice to make it twice as likely), and a
// served smartSync answered 200 may be followed by a new guid ("expire the guid"), so that the
// client's next diff is answered "full": true.
//
// Outcomes: a status (200-599) answered instead of serving the request; "drop": the connection
// is closed without an answer and the request is not served; "lose": the request is served and
// then the connection is closed without the answer (the client cannot know it was stored);
// "delay": the request is served after a delay drawn from the delay range.
//
// Reproducible: every endpoint draws from its own generator, seeded from the seed and the
// endpoint, and every request draws the same count of numbers whatever the outcome; so a client
// that sends the same requests in the same order per endpoint meets the same faults, however its
// requests to different endpoints interleave.
//
// Threads: not safe on its own; FaultInjector serialises every use with its mutex.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/qvx-devservice/Endpoint.h"

namespace qvxdev {

struct RandomOutcome {
    enum class Kind { Status, Drop, Lose, Delay };
    Kind kind = Kind::Status;
    int status = 0;  // for Status

    bool operator==(const RandomOutcome& other) const
    {
        return kind == other.kind && status == other.status;
    }
};

struct RandomFaultRule {
    double rate = 0;  // 0 to 1; 0 removes the endpoint's rule
    std::vector<RandomOutcome> outcomes;
};

struct DelayRange {
    std::chrono::milliseconds min{500};
    std::chrono::milliseconds max{2000};
};

struct RandomFaultPlan {
    std::uint64_t seed = 0;
    std::map<Endpoint, RandomFaultRule> rules;
    DelayRange delay;
    double expireGuidRate = 0;  // per smartSync request answered 200
};

// "ENDPOINT=RATE:OUTCOME[,OUTCOME...]"; ENDPOINT "*" stands for every endpoint. Throws
// std::invalid_argument saying what is wrong.
std::map<Endpoint, RandomFaultRule> ParseRandomFaultRule(const std::string& text);
// "MS" or "MIN-MAX" milliseconds, at most MaxDelay.
DelayRange ParseDelayRange(const std::string& text);
// A decimal number from 0 to 1.
double ParseRate(const std::string& text);
// A whole decimal number from 0 to 2^64-1.
std::uint64_t ParseSeed(const std::string& text);

// A change made while running (POST /dev/random-faults): each member given replaces the plan's.
// Reads {"seed": n, "rules": ["ENDPOINT=RATE:OUTCOMES", ...], "delay": "MIN-MAX",
// "expireGuidRate": r}; throws std::invalid_argument for anything else.
struct RandomFaultChange {
    std::optional<std::uint64_t> seed;
    std::optional<std::map<Endpoint, RandomFaultRule>> rules;
    std::optional<DelayRange> delay;
    std::optional<double> expireGuidRate;
};
RandomFaultChange ParseRandomFaultChange(const nlohmann::json& body);

// What one request draws.
struct RandomDraw {
    std::optional<RandomOutcome> outcome;
    std::chrono::milliseconds delay{0};  // for a Delay outcome
    bool expireGuid = false;
};

class RandomFaults {
public:
    explicit RandomFaults(RandomFaultPlan plan);

    RandomDraw Draw(Endpoint endpoint);

    // Applies a change; a new seed restarts every generator.
    void Change(const RandomFaultChange& change);

    const RandomFaultPlan& Plan() const { return plan_; }

    // {"seed", "rules": {ENDPOINT: {"rate", "outcomes": ["500", "drop", ...]}}, "delayMs":
    // {"min", "max"}, "expireGuidRate"}
    nlohmann::json Describe() const;

private:
    void Seed();

    RandomFaultPlan plan_;
    std::map<Endpoint, std::mt19937_64> generators_;
};

// "500", "drop", "lose" or "delay".
std::string OutcomeName(const RandomOutcome& outcome);

}  // namespace qvxdev
