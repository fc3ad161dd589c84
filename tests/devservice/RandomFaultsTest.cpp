#include "tools/qvx-devservice/RandomFaults.h"

#include <gtest/gtest.h>

#include "tools/qvx-devservice/FaultInjector.h"

namespace qvxdev {
namespace {

using nlohmann::json;
using Kind = RandomOutcome::Kind;

RandomFaultPlan Plan(std::uint64_t seed, const std::string& rule, double expireGuidRate = 0)
{
    RandomFaultPlan plan;
    plan.seed = seed;
    plan.rules = ParseRandomFaultRule(rule);
    plan.delay = ParseDelayRange("100-300");
    plan.expireGuidRate = expireGuidRate;
    return plan;
}

// The outcome names (or "-" for none) of count draws, with the guid expiries as "+".
std::string Draws(RandomFaults& faults, Endpoint endpoint, int count)
{
    std::string seen;
    for (int draw = 0; draw < count; ++draw) {
        const RandomDraw got = faults.Draw(endpoint);
        seen += (got.outcome ? OutcomeName(*got.outcome) : "-") + (got.expireGuid ? "+" : "") + " ";
    }
    return seen;
}

TEST(RandomFaultRules, ParseRatesOutcomesAndEveryEndpoint)
{
    const auto rules = ParseRandomFaultRule("*=0.25:500,drop,lose,delay,503");
    ASSERT_EQ(rules.size(), AllEndpoints().size());
    const RandomFaultRule& rule = rules.at(Endpoint::LogIngameTrade);
    EXPECT_EQ(rule.rate, 0.25);
    EXPECT_EQ(rule.outcomes,
              (std::vector<RandomOutcome>{
                  {Kind::Status, 500}, {Kind::Drop, 0}, {Kind::Lose, 0}, {Kind::Delay, 0}, {Kind::Status, 503}}));
    EXPECT_EQ(ParseRandomFaultRule("stats=1:408").count(Endpoint::Stats), 1u);

    const DelayRange fixed = ParseDelayRange("250");
    EXPECT_EQ(fixed.min, fixed.max);
    EXPECT_EQ(ParseDelayRange("100-300").max, std::chrono::milliseconds(300));
}

TEST(RandomFaultRules, RefuseMalformedTextsWithAReason)
{
    for (const char* rule : {"smartSync", "smartSync=0.1", "smartSync=0.1:", "smartSync=1.5:500",
                             "smartSync=-0.1:500", "smartSync=nan:500", "smartSync=abc:500",
                             "smartSync=0.1:500,", "smartSync=0.1:404x", "smartSync=0.1:nope",
                             "smartSync=0.1:199", "sync=0.1:500", "=0.1:500"}) {
        EXPECT_THROW(ParseRandomFaultRule(rule), std::invalid_argument) << rule;
    }
    for (const char* range : {"", "-", "300-100", "-5", "1-700000", "1-2-3", "a"}) {
        EXPECT_THROW(ParseDelayRange(range), std::invalid_argument) << range;
    }
    for (const json& body : {json::array(), json{{"seed", -1}}, json{{"rules", {1}}},
                             json{{"rules", "stats=0.1:500"}}, json{{"expireGuidRate", 2}},
                             json{{"delay", 100}}, json{{"speed", 1}}}) {
        EXPECT_THROW(ParseRandomFaultChange(body), std::invalid_argument) << body.dump();
    }
}

TEST(RandomFaults, SameSeedSameFaultsWhateverTheOtherEndpointsDo)
{
    const RandomFaultPlan plan = Plan(42, "*=0.5:500,drop,lose,delay", 0.2);
    RandomFaults alone(plan);
    RandomFaults interleaved(plan);
    const std::string expected = Draws(alone, Endpoint::SmartSync, 200);
    std::string seen;
    for (int draw = 0; draw < 200; ++draw) {
        Draws(interleaved, Endpoint::Stats, draw % 3);
        seen += Draws(interleaved, Endpoint::SmartSync, 1);
    }
    EXPECT_EQ(seen, expected);

    RandomFaults otherSeed(Plan(43, "*=0.5:500,drop,lose,delay", 0.2));
    EXPECT_NE(Draws(otherSeed, Endpoint::SmartSync, 200), expected);

    interleaved.Change({42, std::nullopt, std::nullopt, std::nullopt});
    EXPECT_EQ(Draws(interleaved, Endpoint::SmartSync, 200), expected) << "a seed restarts the draws";
}

TEST(RandomFaults, RateOutcomesDelaysAndExpiriesAsAsked)
{
    RandomFaults faults(Plan(7, "smartSync=0.1:500,drop,delay", 0.05));
    std::map<std::string, int> outcomes;
    int expiries = 0;
    for (int draw = 0; draw < 10000; ++draw) {
        const RandomDraw got = faults.Draw(Endpoint::SmartSync);
        expiries += got.expireGuid ? 1 : 0;
        if (got.outcome) {
            ++outcomes[OutcomeName(*got.outcome)];
            if (got.outcome->kind == Kind::Delay) {
                EXPECT_GE(got.delay.count(), 100);
                EXPECT_LE(got.delay.count(), 300);
            } else {
                EXPECT_EQ(got.delay.count(), 0);
            }
        }
        EXPECT_FALSE(faults.Draw(Endpoint::Stats).outcome) << "no rule for stats";
        EXPECT_FALSE(faults.Draw(Endpoint::Stats).expireGuid) << "only smartSync has a guid";
    }
    ASSERT_EQ(outcomes.size(), 3u);
    for (const auto& [name, count] : outcomes) {
        EXPECT_GT(count, 250) << name;  // a third of a tenth of 10,000 is 333
        EXPECT_LT(count, 420) << name;
    }
    EXPECT_GT(expiries, 400);
    EXPECT_LT(expiries, 600);

    RandomFaultChange off;
    off.rules = ParseRandomFaultRule("smartSync=0:500");
    faults.Change(off);
    EXPECT_TRUE(faults.Describe().at("rules").empty()) << "a rate of 0 removes the rule";
}

TEST(FaultInjector, DeterministicRulesWinAndResetReturnsToThePlan)
{
    FaultPlan plan;
    plan.random = Plan(5, "smartSync=0.5:503,drop");
    plan.faults.push_back(ParseFaultRule("smartSync=401x2"));
    FaultInjector faults(plan);
    FaultInjector reference(plan);
    int served = 0;
    const auto sequence = [&served](FaultInjector& injector) {
        std::string seen;
        served = 0;
        for (int request = 0; request < 50; ++request) {
            const FaultDecision decision = injector.Decide(Endpoint::SmartSync);
            served += decision.action == FaultDecision::Action::Serve ? 1 : 0;
            seen += std::to_string(static_cast<int>(decision.action)) + ":" +
                    std::to_string(decision.status) + " ";
        }
        return seen;
    };
    const std::string expected = sequence(reference);
    EXPECT_EQ(expected.rfind("1:401 1:401 ", 0), 0u) << expected;

    faults.AddFault(ParseFaultRule("stats=500"));
    faults.ChangeRandomFaults(ParseRandomFaultChange(json{{"rules", {"*=1:408"}}}));
    faults.Decide(Endpoint::SmartSync);
    faults.Reset();
    EXPECT_EQ(faults.Describe(), FaultInjector(plan).Describe());
    EXPECT_EQ(sequence(faults), expected);
    const json injected = faults.Describe().at("injectedFaults");
    EXPECT_EQ(injected.at("byEndpoint").at("smartSync").at("401"), 2);
    EXPECT_EQ(injected.at("total"), 50 - served)
        << "every request but those served is counted: " << expected;
}

}  // namespace
}  // namespace qvxdev
