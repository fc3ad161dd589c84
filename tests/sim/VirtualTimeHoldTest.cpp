// Virtual time held by work on other threads: the clock does not jump while a hold check reports
// work under way.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/GameLoop.h"
#include "tests/support/WaitUntil.h"

namespace sim {
namespace {

using namespace std::chrono_literals;

const Clock::time_point Start{std::chrono::seconds{1767225600}};

TEST(VirtualTimeHold, TheClockWaitsForWorkUnderWayAndItsTasksRunAtTheMomentItBegan)
{
    std::atomic<bool> working{true};
    std::atomic<int> holdChecks{0};
    std::vector<std::string> ran;
    GameLoop* loopSeen = nullptr;
    GameLoop loop(true, Start, [&](const std::string& line) { ran.push_back(line); }, [&] {
        ++holdChecks;
        return working ? std::string("a worker is busy") : std::string();
    });
    loopSeen = &loop;
    loop.PostAfter(Seconds{10}, [&] { ran.push_back("timer at " + std::to_string((loopSeen->Now() - Start) / 1s)); });
    // Work begun at 0 s on another thread hands a task to the game thread, then rests.
    std::thread worker([&] {
        // The work goes on while the loop looks at it again and again: the clock must not jump
        // meanwhile.
        EXPECT_TRUE(quorvex::testing::WaitUntil([&] { return holdChecks >= 5; }));
        loop.Post([&] { ran.push_back("task at " + std::to_string((loopSeen->Now() - Start) / 1s)); });
        working = false;
    });
    loop.RunFor(Seconds{60});
    worker.join();
    EXPECT_THAT(ran, ::testing::ElementsAre("task at 0", "timer at 10"));
    EXPECT_EQ(loop.Now(), Start + 60s);
}

TEST(VirtualTimeHold, WithoutAHoldCheckTheClockJumpsAtOnce)
{
    GameLoop loop(true, Start, [](const std::string&) {});
    bool ran = false;
    loop.PostAfter(Seconds{3600}, [&] { ran = true; });
    loop.RunFor(Seconds{3600});
    EXPECT_TRUE(ran);
    EXPECT_EQ(loop.Now(), Start + 1h);
}

// A window's frames served while something holds the clock: they run on the game thread at
// once, are no work handed over, and neither start the hold over nor end it.
TEST(VirtualTimeHold, HostWorkIsServedWhileTheClockIsHeldAndNeitherHoldsNorMovesIt)
{
    std::atomic<bool> working{true};
    std::vector<std::string> reports;
    GameLoop loop(true, Start, [&](const std::string& line) { reports.push_back(line); },
                  [&] { return working ? std::string("a worker is busy") : std::string(); });
    std::thread::id hostWorkThread;
    std::atomic<int> served{0};
    Clock::time_point servedAt{};
    bool timerRan = false;
    loop.PostAfter(Seconds{10}, [&] { timerRan = true; });
    std::thread window([&] {
        const std::uint64_t activity = loop.Activity();
        for (int frame = 0; frame < 3; ++frame) {
            const int before = served;
            loop.PostHostWork([&] {
                hostWorkThread = std::this_thread::get_id();
                servedAt = loop.Now();
                ++served;
            });
            // Each frame is drawn while the worker still holds the clock.
            EXPECT_TRUE(quorvex::testing::WaitUntil([&] { return served > before; }));
        }
        EXPECT_EQ(loop.Activity(), activity) << "host work counted as work handed to the game thread";
        working = false;
    });
    loop.RunFor(Seconds{60});
    window.join();
    EXPECT_EQ(served, 3);
    EXPECT_EQ(hostWorkThread, std::this_thread::get_id());
    EXPECT_EQ(servedAt, Start) << "the clock moved while it was held";
    EXPECT_TRUE(timerRan);
    EXPECT_EQ(loop.Now(), Start + 60s);
    EXPECT_TRUE(reports.empty()) << reports.front();
}

}  // namespace
}  // namespace sim
