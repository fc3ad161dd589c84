// The process's wall clock follows the host's virtual clock while a VirtualWallClock exists, as
// a plug-in library that reads std::chrono::system_clock sees it, and so does its steady clock
// where the plug-in reads it.
#include <ctime>

#include <chrono>

#include <gtest/gtest.h>

#include "../sim/TestHost.h"
#include "tools/plexar-sim/VirtualWallClock.h"

namespace plexarsim {
namespace {

using namespace std::chrono_literals;

TEST(VirtualWallClock, SystemClockReadsTheHostClockUntilItGoes)
{
    sim::test::TestHost host;
    {
        const VirtualWallClock wallClock(*host);
        EXPECT_EQ(std::chrono::system_clock::now(), host->Now());
        host->RunFor(1h);
        EXPECT_EQ(std::chrono::system_clock::now(), host->Now());
        // The steady clock is the host's in plug-in code on the game thread, the real one elsewhere.
        host->ShiftWallClock(-2h);
        EXPECT_EQ(std::chrono::system_clock::now(), host->Now());
        EXPECT_LT(std::chrono::steady_clock::now(), host->SteadyNow());
        std::chrono::steady_clock::time_point inPlugin;
        host->Game()->Execute([&](GameWrapper*) { inPlugin = std::chrono::steady_clock::now(); });
        host->RunUntilIdle();
        EXPECT_EQ(inPlugin, host->SteadyNow());
        EXPECT_THROW(VirtualWallClock second(*host), std::logic_error);
    }
    // time() does not go through clock_gettime: it tells the real time to compare with.
    const auto real = std::chrono::system_clock::from_time_t(std::time(nullptr));
    EXPECT_LT(std::chrono::abs(std::chrono::system_clock::now() - real), 5s);
}

}  // namespace
}  // namespace plexarsim
