// Cvars: registration, values read as booleans, change callbacks and bound values.
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestHost.h"

namespace sim {
namespace {

TEST(Cvar, RegisteringAgainReturnsTheExistingCvarAndBadNamesAreRefused)
{
    test::TestHost host;
    auto console = host->CvarManager();
    auto cvar = console->registerCvar("qvx_x", "1", "First description");
    cvar.setValue("changed");
    auto again = console->registerCvar("qvx_x", "2", "Second description");
    EXPECT_EQ(again.memory_address, cvar.memory_address);
    EXPECT_EQ(again.getStringValue(), "changed");
    EXPECT_EQ(again.getDescription(), "First description");
    EXPECT_EQ(console->getCvar("qvx_x").getCVarName(), "qvx_x");

    EXPECT_FALSE(console->getCvar("missing"));
    for (const std::string bad : {"", "two words", "quo\"te", "it's"}) {
        EXPECT_FALSE(console->registerCvar(bad, "1")) << bad;
    }
    EXPECT_TRUE(host->ConsoleContains("plexar-sim: refused cvar name \"two words\""));
    EXPECT_THROW(CVarWrapper().getStringValue(), std::logic_error);
}

TEST(Cvar, ChangesCallBackWithTheOldValueInOrderAndUpdateBoundValues)
{
    test::TestHost host;
    auto cvar = host->CvarManager()->registerCvar("qvx_enable", "1");
    auto flag = std::make_shared<bool>(false);
    auto text = std::make_shared<std::string>();
    cvar.bindTo(flag);
    cvar.bindTo(text);
    EXPECT_TRUE(*flag);  // bound at once
    EXPECT_EQ(*text, "1");

    std::vector<std::string> calls;
    cvar.addOnValueChanged([&](std::string old, CVarWrapper changed) {
        calls.push_back("first " + old + "->" + changed.getStringValue() +
                        (*flag ? " on" : " off") + " text " + *text);
    });
    cvar.addOnValueChanged([&](std::string old, CVarWrapper) { calls.push_back("second " + old); });

    cvar.setValue("0");
    cvar.setValue(0);  // the same value is still a change
    host->ExecuteConsole("qvx_enable 0.7");
    EXPECT_EQ(calls, (std::vector<std::string>{"first 1->0 off text 0", "second 1",
                                               "first 0->0 off text 0", "second 0",
                                               "first 0->0.7 on text 0.7", "second 0"}));
}

TEST(Cvar, AThrowingCallbackIsLoggedAndTheNextOneStillRuns)
{
    test::TestHost host;
    auto cvar = host->CvarManager()->registerCvar("qvx_x", "1");
    bool secondRan = false;
    cvar.addOnValueChanged([](std::string, CVarWrapper) { throw std::runtime_error("nope"); });
    cvar.addOnValueChanged([&](std::string, CVarWrapper) { secondRan = true; });
    cvar.setValue("2");
    EXPECT_TRUE(secondRan);
    EXPECT_TRUE(host->ConsoleContains("threw: nope"));
}

TEST(Cvar, ConcurrentChangesLeaveTheBoundTextEqualToTheFinalValue)
{
    test::TestHost host;
    auto cvar = host->CvarManager()->registerCvar("hidden_code", "");
    auto text = std::make_shared<std::string>();
    cvar.bindTo(text);
    auto writer = [&](const std::string& prefix) {
        for (int i = 0; i < 2000; ++i) {
            cvar.setValue(prefix + std::to_string(i));
        }
    };
    std::thread a(writer, "a");
    std::thread b(writer, "b");
    a.join();
    b.join();
    EXPECT_EQ(*text, cvar.getStringValue());
}

TEST(Cvar, BooleansAreReadFromTheNumberTheTextBegins)
{
    test::TestHost host;
    auto cvar = host->CvarManager()->registerCvar("qvx_n", "3.9 units");
    EXPECT_TRUE(cvar.getBoolValue());
    cvar.setValue(-12);
    EXPECT_EQ(cvar.getStringValue(), "-12");
    EXPECT_FALSE(cvar.getBoolValue());
    cvar.setValue("0.5");
    EXPECT_TRUE(cvar.getBoolValue());
    // A range of bounds is the plug-in's reading of a text, not the host's; nor is "inf".
    cvar.setValue("(1,1)");
    EXPECT_FALSE(cvar.getBoolValue());
    cvar.setValue("inf");
    EXPECT_FALSE(cvar.getBoolValue());
}

}  // namespace
}  // namespace sim
