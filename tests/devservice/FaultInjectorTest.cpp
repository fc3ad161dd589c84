#include "tools/qvx-devservice/FaultInjector.h"

#include <thread>

#include <gtest/gtest.h>

namespace qvxdev {
namespace {

TEST(FaultRules, ParseEndpointStatusAndOptionalCount)
{
    const FaultRule always = ParseFaultRule("smartSync=500");
    EXPECT_EQ(always.endpoint, Endpoint::SmartSync);
    EXPECT_EQ(always.status, 500);
    EXPECT_FALSE(always.count);

    const FaultRule twice = ParseFaultRule("logIngameTrade=401x2");
    EXPECT_EQ(twice.endpoint, Endpoint::LogIngameTrade);
    EXPECT_EQ(twice.status, 401);
    EXPECT_EQ(twice.count, 2);

    const FaultRule wait = ParseFaultRule("smartSync=429x1,retryAfter=3600");
    EXPECT_EQ(wait.status, 429);
    EXPECT_EQ(wait.count, 1);
    EXPECT_EQ(wait.retryAfterSeconds, 3600);

    const DelayRule delay = ParseDelayRule("validateTrader=1500");
    EXPECT_EQ(delay.endpoint, Endpoint::ValidateTrader);
    EXPECT_EQ(delay.delay, std::chrono::milliseconds(1500));
}

TEST(FaultRules, RefuseMalformedRulesWithAReason)
{
    for (const char* rule : {"smartSync", "=500", "smartsync=500", "smartSync=", "smartSync=99",
                             "smartSync=600", "smartSync=500x", "smartSync=500x0", "smartSync=5o0",
                             "smartSync=500x2x", "smartSync= 500", "smartSync=-500",
                             "smartSync=429,retryAfter=", "smartSync=429,retryAfter=86401",
                             "smartSync=429,retryafter=5", "smartSync=429x1,5", "smartSync=429,retryAfter=5,",
                             "loadout=500x1,retryAfter=60"}) {
        EXPECT_THROW(ParseFaultRule(rule), std::invalid_argument) << rule;
    }
    for (const char* rule : {"stats", "stats=", "stats=-1", "stats=600001", "stats=1s", "nope=5"}) {
        EXPECT_THROW(ParseDelayRule(rule), std::invalid_argument) << rule;
    }
    try {
        ParseFaultRule("inventory=500");
        FAIL();
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("smartSync, toggleSync"), std::string::npos)
            << "the message lists the valid endpoints: " << error.what();
    }
}

// The status a request gets instead of being served, if any.
std::optional<int> AnsweredStatus(FaultInjector& faults, Endpoint endpoint)
{
    const FaultDecision decision = faults.Decide(endpoint);
    if (decision.action == FaultDecision::Action::Answer) {
        return decision.status;
    }
    return std::nullopt;
}

TEST(FaultInjector, UsesRulesInOrderAndOnlyForTheirEndpoint)
{
    FaultInjector faults;
    faults.AddFault(ParseFaultRule("smartSync=500x2"));
    faults.AddFault(ParseFaultRule("smartSync=401x1"));
    faults.AddFault(ParseFaultRule("stats=503,retryAfter=5"));

    EXPECT_EQ(AnsweredStatus(faults, Endpoint::Loadout), std::nullopt);
    EXPECT_EQ(AnsweredStatus(faults, Endpoint::SmartSync), 500);
    EXPECT_EQ(faults.Describe().at("faults").at("smartSync").at(0).at("remaining"), 1);
    EXPECT_EQ(AnsweredStatus(faults, Endpoint::SmartSync), 500);
    EXPECT_EQ(AnsweredStatus(faults, Endpoint::SmartSync), 401);
    EXPECT_EQ(AnsweredStatus(faults, Endpoint::SmartSync), std::nullopt);
    for (int request = 0; request < 3; ++request) {
        EXPECT_EQ(AnsweredStatus(faults, Endpoint::Stats), 503)
            << "a rule without a count never runs out";
    }
    const nlohmann::json described = faults.Describe();
    EXPECT_TRUE(described.at("faults").at("stats").at(0).at("remaining").is_null());
    EXPECT_EQ(described.at("faults").at("stats").at(0).at("retryAfter"), 5);
    EXPECT_EQ(described.at("injectedFaults"),
              (nlohmann::json{{"total", 6},
                              {"byEndpoint",
                               {{"smartSync", {{"401", 1}, {"500", 2}}}, {"stats", {{"503", 3}}}}}}));
}

TEST(FaultInjector, DelayOfZeroRemovesIt)
{
    FaultInjector faults;
    faults.SetDelay(ParseDelayRule("loadout=250"));
    EXPECT_EQ(faults.Describe().at("delays"), (nlohmann::json{{"loadout", 250}}));
    EXPECT_EQ(faults.Decide(Endpoint::Loadout).delay, std::chrono::milliseconds(250));
    EXPECT_EQ(faults.Decide(Endpoint::Loadout).action, FaultDecision::Action::Serve);
    faults.SetDelay(ParseDelayRule("loadout=0"));
    EXPECT_TRUE(faults.Describe().at("delays").empty());
}

TEST(FaultInjector, ShutdownEndsDelaysInProgressAndToCome)
{
    FaultInjector faults;
    std::thread waiting([&faults] { faults.Wait(MaxDelay); });
    faults.Shutdown();
    waiting.join();  // a Wait that ignored Shutdown would wait ten minutes: the test times out
    faults.Wait(MaxDelay);
}

}  // namespace
}  // namespace qvxdev
