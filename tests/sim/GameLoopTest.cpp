// The game thread's loop: virtual time, ordering of tasks and timers, threads, failures.
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestHost.h"

namespace sim {
namespace {

using namespace std::chrono_literals;

// 2026-01-01T00:00:00Z
const Clock::time_point VirtualStart{std::chrono::seconds{1767225600}};

double SecondsSinceStart(Host& host)
{
    return Seconds(host.Now() - VirtualStart).count();
}

TEST(GameLoop, VirtualTimeRunsTimersWhenDueInDueOrderThenSetOrder)
{
    test::TestHost host;
    auto game = host->Game();
    std::vector<std::string> ran;
    auto record = [&](std::string name) {
        return [&ran, &host, name](GameWrapper*) {
            ran.push_back(name + "@" + std::to_string(SecondsSinceStart(*host)));
        };
    };
    EXPECT_EQ(host->Now(), VirtualStart);
    game->SetTimeout(record("a"), 2.0f);
    game->SetTimeout(record("b"), 1.0f);
    game->SetTimeout(record("c"), 1.0f);
    game->SetTimeout(record("late"), 5.0f);

    host->RunFor(3s);
    EXPECT_EQ(ran, (std::vector<std::string>{"b@1.000000", "c@1.000000", "a@2.000000"}));
    EXPECT_EQ(host->Now(), VirtualStart + 3s);

    host->RunFor(2s);
    EXPECT_EQ(ran.back(), "late@5.000000");
    EXPECT_EQ(host->Now(), VirtualStart + 5s);
}

TEST(GameLoop, TasksRunFirstAndTasksQueuedByATimerRunBeforeTheNextTimer)
{
    test::TestHost host;
    auto game = host->Game();
    std::vector<std::string> ran;
    game->SetTimeout(
        [&](GameWrapper* g) {
            ran.push_back("timer1");
            g->Execute([&](GameWrapper*) { ran.push_back("task from timer1"); });
            g->SetTimeout([&](GameWrapper*) { ran.push_back("timer3 (0 s, set at 1 s)"); }, 0);
        },
        1.0f);
    game->SetTimeout([&](GameWrapper*) { ran.push_back("timer2"); }, 1.5f);
    game->Execute([&](GameWrapper*) { ran.push_back("task"); });

    host->RunFor(2s);
    EXPECT_EQ(ran, (std::vector<std::string>{"task", "timer1", "task from timer1",
                                             "timer3 (0 s, set at 1 s)", "timer2"}));
}

TEST(GameLoop, AFloatDelayFallsDueWithinTheDecimalDurationItWasWrittenAs)
{
    const std::vector<std::pair<float, double>> delays = {
        {0.1f, 0.1}, {5.0f, 5.0}, {10.1f, 10.1}, {20.3f, 20.3}, {1000.1f, 1000.1}};
    for (const auto& [asFloat, asDecimal] : delays) {
        test::TestHost host;
        bool ran = false;
        host->RunFor(Seconds(0.3));
        host->Game()->SetTimeout([&](GameWrapper*) { ran = true; }, asFloat);
        host->RunFor(Seconds(asDecimal - 0.001));
        EXPECT_FALSE(ran) << asDecimal;
        host->RunFor(Seconds(0.001));
        EXPECT_TRUE(ran) << asDecimal;
    }
}

TEST(GameLoop, RunUntilIdleRunsWhatIsDueWithoutLettingTimePass)
{
    test::TestHost host;
    auto game = host->Game();
    int ran = 0;
    game->SetTimeout([&](GameWrapper*) { ran += 1; }, 0.0f);
    game->SetTimeout([&](GameWrapper*) { ran += 10; }, -1.0f);
    game->SetTimeout([&](GameWrapper*) { ran += 100; }, 0.5f);
    host->RunUntilIdle();
    EXPECT_EQ(ran, 11);
    EXPECT_EQ(host->Now(), VirtualStart);
}

TEST(GameLoop, IdleOnVirtualTimeRunsWhatComesWithoutMovingTheClock)
{
    test::TestHost host;
    auto game = host->Game();
    bool timerRan = false;
    game->SetTimeout([&](GameWrapper*) { timerRan = true; }, 0.01f);
    std::atomic<bool> taskRan{false};
    std::atomic<bool> hostWorkRan{false};
    std::thread other([&] {
        game->Execute([&](GameWrapper*) { taskRan = true; });
        host->PostHostWork([&] { hostWorkRan = true; });
    });
    // The game thread idles (the prompt) until both came; only a wait would move the clock.
    while (!taskRan || !hostWorkRan) {
        host->Idle(Seconds{0.005});
    }
    other.join();
    EXPECT_FALSE(timerRan);
    EXPECT_EQ(host->Now(), VirtualStart);
    host->RunFor(Seconds{0.01});
    EXPECT_TRUE(timerRan);
}

TEST(GameLoop, ExecuteAndSetTimeoutFromAnotherThreadRunOnTheGameThread)
{
    test::TestHost host;
    auto game = host->Game();
    std::thread::id taskThread;
    std::thread::id timerThread;
    std::thread other([&] {
        game->Execute([&](GameWrapper*) { taskThread = std::this_thread::get_id(); });
        game->SetTimeout([&](GameWrapper*) { timerThread = std::this_thread::get_id(); }, 1.0f);
    });
    other.join();
    host->RunFor(1s);
    EXPECT_EQ(taskThread, std::this_thread::get_id());
    EXPECT_EQ(timerThread, std::this_thread::get_id());
}

TEST(GameLoop, ThrowingTasksAreLoggedAndTheLoopGoesOn)
{
    test::TestHost host;
    auto game = host->Game();
    bool laterRan = false;
    game->Execute([](GameWrapper*) { throw std::runtime_error("boom"); });
    game->SetTimeout([](GameWrapper*) { throw 42; }, 1.0f);
    game->SetTimeout([&](GameWrapper*) { laterRan = true; }, 2.0f);
    host->RunFor(3s);
    EXPECT_TRUE(host->ConsoleContains("plexar-sim: task threw: boom"));
    EXPECT_TRUE(host->ConsoleContains("plexar-sim: task threw: unknown exception"));
    EXPECT_TRUE(laterRan);
}

TEST(GameLoop, TasksLeftAtDestructionAreDroppedNotRun)
{
    test::TestHost host;
    auto ran = std::make_shared<bool>(false);
    host->Game()->SetTimeout([ran](GameWrapper*) { *ran = true; }, 1.0f);
    host->Game()->Execute([ran](GameWrapper*) { *ran = true; });
    EXPECT_EQ(ran.use_count(), 3);
    host.Destroy();
    EXPECT_FALSE(*ran);
    EXPECT_EQ(ran.use_count(), 1);
}

TEST(GameLoop, RealTimeRunForWaitsForTheTimer)
{
    HostOptions options;
    options.virtualTime = false;
    test::TestHost host(options);
    std::atomic<bool> ran{false};
    const auto before = host->Now();
    host->Game()->SetTimeout([&](GameWrapper*) { ran = true; }, 0.02f);
    host->RunFor(100ms);
    EXPECT_TRUE(ran);
    EXPECT_GE(host->Now() - before, 100ms);
}

// Timers fall due on the steady clock, in real and in virtual time; the wall clock is only shown.
TEST(GameLoop, TimersKeepTheirCourseWhenTheWallClockIsSetBackOrForward)
{
    for (bool virtualTime : {false, true}) {
        HostOptions options;
        options.virtualTime = virtualTime;
        test::TestHost host(options);
        std::atomic<int> ran{0};
        host->Game()->SetTimeout([&](GameWrapper*) { ++ran; }, 0.05f);
        host->Game()->SetTimeout([&](GameWrapper*) { ++ran; }, 1.0f);
        host->ShiftWallClock(-1h);
        host->RunFor(100ms);
        EXPECT_EQ(ran, 1) << "set back an hour, virtual time " << virtualTime;
        host->ShiftWallClock(24h);
        host->RunFor(100ms);
        EXPECT_EQ(ran, 1) << "set forward a day, virtual time " << virtualTime;
        host->RunFor(800ms);
        EXPECT_EQ(ran, 2) << virtualTime;
    }
}

TEST(Hooks, PreHooksInRegistrationOrderThenPostHooksWithCallerAndParams)
{
    test::TestHost host;
    auto game = host->Game();
    const std::string function = "Function TAGame.Test_TA.Call";
    std::vector<std::string> calls;
    int params = 7;
    game->HookEventPost(function, [&](std::string name) { calls.push_back("post " + name); });
    game->HookEvent(function, [&](std::string) { calls.push_back("pre 1"); });
    game->HookEventWithCaller<ActorWrapper>(
        function, [&](ActorWrapper caller, void* p, std::string) {
            calls.push_back("caller " + std::to_string(caller.memory_address) + " params " +
                            std::to_string(*static_cast<int*>(p)));
        });
    game->HookEvent(function, [&](std::string) {
        calls.push_back("pre 3");
        // Hooks added during a call take effect from the next call.
        game->HookEvent(function, [&](std::string) { calls.push_back("added"); });
    });
    game->HookEvent("Function TAGame.Other_TA.Call", [&](std::string) { calls.push_back("x"); });

    host->CallFunction(function, 1234, &params);
    EXPECT_EQ(calls, (std::vector<std::string>{"pre 1", "caller 1234 params 7", "pre 3",
                                               "post " + function}));
    calls.clear();
    host->CallFunction(function, 1234, &params);
    EXPECT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[3], "added");
}

TEST(Hooks, AThrowingHookIsLoggedAndTheOthersStillRun)
{
    test::TestHost host;
    bool postRan = false;
    host->Game()->HookEvent("F", [](std::string) { throw std::runtime_error("bad hook"); });
    host->Game()->HookEventPost("F", [&](std::string) { postRan = true; });
    host->CallFunction("F");
    EXPECT_TRUE(host->ConsoleContains("plexar-sim: hook threw: bad hook"));
    EXPECT_TRUE(postRan);
}

}  // namespace
}  // namespace sim
