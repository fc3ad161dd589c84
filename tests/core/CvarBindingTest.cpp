#include "core/CvarBinding.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/CVarManagerWrapper.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

class CvarBindingTest : public ::testing::Test {
protected:
    CVarWrapper Register(const std::string& name, const std::string& value)
    {
        return host->CvarManager()->registerCvar(name, value, "", true, false, 0, false, 0, false);
    }

    testing::TestHost host;
};

TEST_F(CvarBindingTest, TheCopyTakesTheValueAtOnceAndFollowsEveryChange)
{
    CVarWrapper cvar = Register("qvx_switch", "0");
    auto flag = std::make_shared<std::atomic<bool>>(true);
    BindFlag(cvar, flag);
    EXPECT_FALSE(*flag);

    host->ExecuteConsole("qvx_switch 1");
    EXPECT_TRUE(*flag);
    cvar.setValue(0);
    EXPECT_FALSE(*flag);
}

// A feature's own change handler reads its flag: bound first, it sees the new value.
TEST_F(CvarBindingTest, ACallbackAddedAfterTheBindingSeesTheNewValue)
{
    CVarWrapper cvar = Register("qvx_switch", "1");
    auto flag = std::make_shared<std::atomic<bool>>(false);
    BindFlag(cvar, flag);
    std::vector<bool> seen;
    cvar.addOnValueChanged([&](const std::string&, CVarWrapper) { seen.push_back(*flag); });
    cvar.setValue(0);
    cvar.setValue(1);
    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
}

// A refused request switches a feature off until the player writes its cvar again.
TEST_F(CvarBindingTest, AValueWrittenByThePlugInHoldsUntilTheNextChange)
{
    CVarWrapper cvar = Register("qvx_switch", "1");
    auto flag = std::make_shared<std::atomic<bool>>(true);
    BindFlag(cvar, flag);
    *flag = false;
    EXPECT_EQ(cvar.getStringValue(), "1");
    cvar.setValue(1);
    EXPECT_TRUE(*flag);
}

TEST_F(CvarBindingTest, ACopyItsOwnersDroppedIsNoLongerWrittenAndANullCvarBindsNothing)
{
    CVarWrapper cvar = Register("qvx_switch", "1");
    auto dropped = std::make_shared<std::atomic<bool>>(true);
    std::weak_ptr<std::atomic<bool>> weak = dropped;
    BindFlag(cvar, dropped);
    dropped.reset();
    EXPECT_TRUE(weak.expired()) << "the binding must not keep the copy alive";
    cvar.setValue(0);  // must not touch freed memory
    EXPECT_EQ(cvar.getStringValue(), "0");

    auto flag = std::make_shared<std::atomic<bool>>(true);
    BindFlag(CVarWrapper(), flag);
    EXPECT_TRUE(*flag);
}

// Two threads change a switch at once (the game thread and the WebSocket thread): the copy ends
// equal to the cvar.
TEST_F(CvarBindingTest, ConcurrentChangesLeaveTheCopyEqualToTheFinalValue)
{
    CVarWrapper cvar = Register("qvx_switch", "0");
    auto flag = std::make_shared<std::atomic<bool>>(false);
    BindFlag(cvar, flag);
    auto writer = [&](int value) {
        for (int i = 0; i < 2000; ++i) {
            cvar.setValue(value);
        }
    };
    std::thread a(writer, 0);
    std::thread b(writer, 1);
    a.join();
    b.join();
    EXPECT_EQ(*flag, cvar.getBoolValue());
}

}  // namespace
}  // namespace quorvex
