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

    CVarWrapper code = Register("qvx_code", "abc");
    auto text = std::make_shared<GuardedText>();
    BindText(code, text);
    EXPECT_EQ(text->Get(), "abc");
    code.setValue("");
    EXPECT_TRUE(text->IsEmpty());
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
    CVarWrapper cvar = Register("qvx_code", "a");
    auto text = std::make_shared<GuardedText>();
    std::weak_ptr<GuardedText> weak = text;
    BindText(cvar, text);
    text.reset();
    EXPECT_TRUE(weak.expired()) << "the binding must not keep the copy alive";
    cvar.setValue("b");  // must not touch freed memory
    EXPECT_EQ(cvar.getStringValue(), "b");

    auto flag = std::make_shared<std::atomic<bool>>(true);
    BindFlag(CVarWrapper(), flag);
    EXPECT_TRUE(*flag);
}

// Two threads change the user code at once (the game thread and the WebSocket thread): the copy
// ends equal to the cvar, and a reader never sees a torn text.
TEST_F(CvarBindingTest, ConcurrentChangesLeaveTheCopyEqualToTheFinalValue)
{
    CVarWrapper cvar = Register("qvx_code", "");
    auto text = std::make_shared<GuardedText>();
    BindText(cvar, text);
    const std::string longA(200, 'a');
    const std::string longB(200, 'b');
    std::atomic<bool> writing{true};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (writing) {
            const std::string seen = text->Get();
            if (!seen.empty() && seen != longA && seen != longB) {
                ++torn;
            }
        }
    });
    auto writer = [&](const std::string& value) {
        for (int i = 0; i < 2000; ++i) {
            cvar.setValue(value);
        }
    };
    std::thread a(writer, longA);
    std::thread b(writer, longB);
    a.join();
    b.join();
    writing = false;
    reader.join();
    EXPECT_EQ(text->Get(), cvar.getStringValue());
    EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace quorvex
