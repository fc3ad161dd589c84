// Cvars: registration, values read as numbers, change callbacks and bound values.
#include <atomic>
#include <memory>
#include <set>
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
    auto flag = std::make_shared<std::atomic<bool>>(false);
    auto text = std::make_shared<Plexar::SharedText>();
    cvar.bindTo(flag);
    cvar.bindTo(text);
    EXPECT_TRUE(*flag);  // bound at once
    EXPECT_EQ(text->Get(), "1");

    std::vector<std::string> calls;
    cvar.addOnValueChanged([&](std::string old, CVarWrapper changed) {
        calls.push_back("first " + old + "->" + changed.getStringValue() +
                        (*flag ? " on" : " off") + " text " + text->Get());
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
    auto text = std::make_shared<Plexar::SharedText>();
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
    EXPECT_EQ(text->Get(), cvar.getStringValue());
}

TEST(CvarText, NumbersAreReadFromTheLeadingDecimalNumber)
{
    using Plexar::CVarTextToNumber;
    EXPECT_FLOAT_EQ(CVarTextToNumber("1"), 1.0f);
    EXPECT_FLOAT_EQ(CVarTextToNumber("0.25"), 0.25f);
    EXPECT_FLOAT_EQ(CVarTextToNumber("  -2.5abc"), -2.5f);
    EXPECT_FLOAT_EQ(CVarTextToNumber("+.5"), 0.5f);
    EXPECT_FLOAT_EQ(CVarTextToNumber("1e2x"), 100.0f);
    EXPECT_FLOAT_EQ(CVarTextToNumber("0x10"), 0.0f);  // decimal only
    EXPECT_FLOAT_EQ(CVarTextToNumber("abc"), 0.0f);
    EXPECT_FLOAT_EQ(CVarTextToNumber(""), 0.0f);
    EXPECT_FLOAT_EQ(CVarTextToNumber("inf"), 0.0f);
    EXPECT_FLOAT_EQ(CVarTextToNumber("1e99"), 0.0f);  // a reading error
    EXPECT_FLOAT_EQ(CVarTextToNumber("(5)"), 0.0f);   // no comma: not a list
    EXPECT_FLOAT_EQ(CVarTextToNumber("(x,y)"), 0.0f);

    EXPECT_TRUE(Plexar::CVarTextToBool("0.5"));
    EXPECT_FALSE(Plexar::CVarTextToBool("0.49"));
    EXPECT_FALSE(Plexar::CVarTextToBool("true"));
}

TEST(CvarText, RangeListsGiveAValueWithinARandomPair)
{
    bool lowPair = false;
    bool highPair = false;
    for (int i = 0; i < 500; ++i) {
        const float single = Plexar::CVarTextToNumber("(1.5,2.5)");
        EXPECT_GE(single, 1.5f);
        EXPECT_LE(single, 2.5f);
        const float value = Plexar::CVarTextToNumber("(10,20,30,40)");
        ASSERT_TRUE((value >= 10 && value <= 20) || (value >= 30 && value <= 40)) << value;
        lowPair = lowPair || value <= 20;
        highPair = highPair || value >= 30;
    }
    EXPECT_TRUE(lowPair);
    EXPECT_TRUE(highPair);
}

TEST(CvarText, WrapperReadsNumbersIntegersAndBooleans)
{
    test::TestHost host;
    auto cvar = host->CvarManager()->registerCvar("qvx_n", "3.9 units");
    EXPECT_FLOAT_EQ(cvar.getFloatValue(), 3.9f);
    EXPECT_EQ(cvar.getIntValue(), 3);
    EXPECT_TRUE(cvar.getBoolValue());
    cvar.setValue(-12);
    EXPECT_EQ(cvar.getStringValue(), "-12");
    EXPECT_EQ(cvar.getIntValue(), -12);
    EXPECT_FALSE(cvar.getBoolValue());
}

}  // namespace
}  // namespace sim
