// A call the window's thread has the game thread make: who runs what, in which order, and what
// happens when nobody serves, when the requester gives up and when the hand-off closes.
#include "tools/plexar-sim/screen/HandOff.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/WaitUntil.h"

namespace sim {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

// Long enough never to run out in a test that expects the call to be served.
constexpr auto Served = std::chrono::milliseconds(quorvex::testing::Patience);
// Short: a test that expects nobody to serve waits this long for nothing.
constexpr auto NobodyServes = 20ms;

TEST(HandOff, TheServerRunsTheCallAndTheRequesterItsStepsInTurn)
{
    HandOff handOff;
    std::vector<std::string> order;  // written in turn by the two threads, as the hand-off orders them
    const std::thread::id server = std::this_thread::get_id();
    std::thread::id workThread;
    std::vector<std::thread::id> stepThreads;
    std::atomic<bool> asked{false};
    bool ended = false;
    std::thread::id requesterThread;
    std::thread requester([&] {
        requesterThread = std::this_thread::get_id();
        ended = handOff.Call(
            [&](HandOff::Steps& steps) {
                workThread = std::this_thread::get_id();
                order.push_back("work begins");
                for (const char* name : {"first step", "second step"}) {
                    EXPECT_TRUE(steps.OnRequester([&] {
                        stepThreads.push_back(std::this_thread::get_id());
                        order.push_back(name);
                    }));
                    order.push_back(std::string("after the ") + name);
                }
            },
            [&] { asked = true; }, Served);
        order.push_back("call returned");
    });
    ASSERT_TRUE(quorvex::testing::WaitUntil([&] { return asked.load(); }));
    EXPECT_TRUE(handOff.ServeNext(Served));
    requester.join();
    EXPECT_TRUE(ended);
    EXPECT_EQ(workThread, server);
    EXPECT_THAT(stepThreads, ElementsAre(requesterThread, requesterThread));
    EXPECT_THAT(order, ElementsAre("work begins", "first step", "after the first step", "second step",
                                   "after the second step", "call returned"));
}

TEST(HandOff, ACallNobodyServesIsTakenBackAndNeverRuns)
{
    HandOff handOff;
    int asked = 0;
    bool ran = false;
    EXPECT_FALSE(handOff.Call([&](HandOff::Steps&) { ran = true; }, [&] { ++asked; }, NobodyServes));
    EXPECT_EQ(asked, 1);
    // A server that comes late finds nothing to do.
    EXPECT_FALSE(handOff.Serve());
    EXPECT_FALSE(ran);
}

TEST(HandOff, TheServerFinishesACallItsRequesterGaveUpAndSkipsTheStepsLeft)
{
    HandOff handOff;
    std::atomic<bool> begun{false};
    std::atomic<bool> requesterGone{false};
    bool served = false;
    bool stepHandedBack = true;
    bool stepRan = false;
    bool workEnded = false;
    std::thread server([&] { served = handOff.ServeNext(Served); });
    const bool ended = handOff.Call(
        [&](HandOff::Steps& steps) {
            begun = true;
            // The work outlasts the requester's patience (a page that takes long).
            EXPECT_TRUE(quorvex::testing::WaitUntil([&] { return requesterGone.load(); }));
            stepHandedBack = steps.OnRequester([&] { stepRan = true; });
            workEnded = true;
        },
        // The requester's patience starts once the server has begun.
        [&] { EXPECT_TRUE(quorvex::testing::WaitUntil([&] { return begun.load(); })); }, NobodyServes);
    EXPECT_FALSE(ended);
    requesterGone = true;
    server.join();
    EXPECT_TRUE(served);
    EXPECT_TRUE(workEnded);
    EXPECT_FALSE(stepHandedBack);
    EXPECT_FALSE(stepRan);
}

TEST(HandOff, ClosingEndsACallThatWaitsAndRefusesLaterOnes)
{
    HandOff handOff;
    std::atomic<bool> asked{false};
    bool ended = true;
    std::thread requester([&] {
        // A patience far beyond the test's own time-out: only Close can end this call.
        ended = handOff.Call([](HandOff::Steps&) {}, [&] { asked = true; }, std::chrono::hours(1));
    });
    ASSERT_TRUE(quorvex::testing::WaitUntil([&] { return asked.load(); }));
    handOff.Close();
    requester.join();
    EXPECT_FALSE(ended);
    bool askedAgain = false;
    EXPECT_FALSE(handOff.Call([](HandOff::Steps&) {}, [&] { askedAgain = true; }, std::chrono::hours(1)));
    EXPECT_FALSE(askedAgain);
    EXPECT_FALSE(handOff.Serve());
}

}  // namespace
}  // namespace sim
