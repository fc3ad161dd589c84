#include "core/PluginEventDispatcher.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

constexpr const char* NoListenersWarning = "Warning: Dispatching event with no listeners ";

// Two structs with the same payload, told apart only by their run-time type.
struct StartLike : EventBase {
    StartLike() : EventBase(EventType::TradeStart) {}
};
struct EndLike : EventBase {
    EndLike() : EventBase(EventType::TradeEnd) {}
};

class PluginEventDispatcherTest : public ::testing::Test {
protected:
    testing::TestHost host;
    PluginEventDispatcher dispatcher;
    std::vector<std::string> calls;
};

TEST_F(PluginEventDispatcherTest, CallsListenersOfTheTypeInRegistrationOrderOnce)
{
    dispatcher.AddEventListener<ToastEvent>(EventType::Toast,
                                            [&](const ToastEvent& e) { calls.push_back("first " + e.text); });
    dispatcher.AddEventListener<ToastEvent>(EventType::Toast,
                                            [&](const ToastEvent& e) { calls.push_back("second " + e.text); });
    dispatcher.AddEventListener<TradeScammer>(EventType::TradeScammer,
                                              [&](const TradeScammer&) { calls.push_back("scammer"); });

    dispatcher.Dispatch(EventType::Toast, ToastEvent("hi", 0, 3.0f));

    EXPECT_EQ(calls, (std::vector<std::string>{"first hi", "second hi"}));
    EXPECT_EQ(host.CountConsoleLines(NoListenersWarning), 0);
}

TEST_F(PluginEventDispatcherTest, SkipsListenersOfAnotherStructAndAnotherType)
{
    dispatcher.AddEventListener<StartLike>(EventType::TradeStart, [&](const StartLike&) { calls.push_back("start"); });
    // Registered under the start type but for the end struct: the run-time type test skips it.
    dispatcher.AddEventListener<EndLike>(EventType::TradeStart, [&](const EndLike&) { calls.push_back("wrong"); });
    dispatcher.AddEventListener<EndLike>(EventType::TradeEnd, [&](const EndLike&) { calls.push_back("end"); });

    dispatcher.Dispatch(EventType::TradeEnd, EndLike());
    EXPECT_EQ(calls, (std::vector<std::string>{"end"}));
    dispatcher.Dispatch(EventType::TradeStart, StartLike());
    EXPECT_EQ(calls, (std::vector<std::string>{"end", "start"}));
}

TEST_F(PluginEventDispatcherTest, WarnsOnceWhenNoListenerAndCallsNothing)
{
    dispatcher.AddEventListener<ToastEvent>(EventType::Toast, [&](const ToastEvent&) { calls.push_back("toast"); });

    dispatcher.Dispatch(EventType::TradeScammer, TradeScammer());

    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(host.CountConsoleLines(NoListenersWarning), 1);
    const auto lines = host->ConsoleLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), NoListenersWarning), lines.end())
        << "the warning ends with one blank";
}

TEST_F(PluginEventDispatcherTest, ListenersMayDispatchAndAddListenersWithoutDeadlock)
{
    dispatcher.AddEventListener<TradeScammer>(EventType::TradeScammer, [&](const TradeScammer&) {
        calls.push_back("scammer");
        dispatcher.Dispatch(EventType::Toast, ToastEvent("nested", 3, 10.0f));
        calls.push_back("scammer done");
    });
    dispatcher.AddEventListener<ToastEvent>(EventType::Toast, [&](const ToastEvent& e) {
        calls.push_back(e.text);
        // Appended during the walk of this very list: not called by this walk.
        dispatcher.AddEventListener<ToastEvent>(EventType::Toast,
                                                [&](const ToastEvent&) { calls.push_back("late"); });
    });

    dispatcher.Dispatch(EventType::TradeScammer, TradeScammer());
    EXPECT_EQ(calls, (std::vector<std::string>{"scammer", "nested", "scammer done"}));

    calls.clear();
    dispatcher.Dispatch(EventType::Toast, ToastEvent("again", 0, 3.0f));
    EXPECT_EQ(calls, (std::vector<std::string>{"again", "late"}));
}

TEST_F(PluginEventDispatcherTest, ListenerExceptionStopsTheWalkAndReachesThePoster)
{
    dispatcher.AddEventListener<ToastEvent>(EventType::Toast, [&](const ToastEvent&) {
        calls.push_back("throws");
        throw std::runtime_error("listener failed");
    });
    dispatcher.AddEventListener<ToastEvent>(EventType::Toast, [&](const ToastEvent&) { calls.push_back("later"); });

    EXPECT_THROW(dispatcher.Dispatch(EventType::Toast, ToastEvent("x", 0, 3.0f)), std::runtime_error);
    EXPECT_EQ(calls, (std::vector<std::string>{"throws"}));
}

TEST_F(PluginEventDispatcherTest, DroppedHandleKeepsTheListener)
{
    {
        auto handle = dispatcher.AddEventListener<ToastEvent>(EventType::Toast,
                                                              [&](const ToastEvent&) { calls.push_back("kept"); });
        EXPECT_FALSE(handle.expired());
    }
    dispatcher.Dispatch(EventType::Toast, ToastEvent("x", 0, 3.0f));
    EXPECT_EQ(calls, (std::vector<std::string>{"kept"}));
}

}  // namespace
}  // namespace quorvex
