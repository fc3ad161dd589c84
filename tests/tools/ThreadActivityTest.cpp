// The other threads' state as plexar-sim's virtual-time hold check reads it from /proc.
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tools/plexar-sim/ThreadActivity.h"
#include "tests/support/WaitUntil.h"

namespace sim {
namespace {

// One thread that either spins or waits on a condition variable, named so the report can be
// matched.
class NamedThread {
public:
    explicit NamedThread(bool spin)
        : thread_([this, spin] {
              pthread_setname_np(pthread_self(), "qvx-probe");
              started_ = true;
              std::unique_lock<std::mutex> lock(mutex_);
              if (spin) {
                  lock.unlock();
                  while (!stop_) {
                  }
                  return;
              }
              wake_.wait(lock, [this] { return stop_.load(); });
          })
    {
        while (!started_) {
            std::this_thread::yield();
        }
    }
    ~NamedThread()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> started_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(ThreadActivity, ARunningThreadHoldsTimeABlockedOneDoesNot)
{
    {
        const NamedThread spinning(true);
        // Seen running as soon as the system has it on a processor during a sample.
        std::string busy;
        EXPECT_TRUE(quorvex::testing::WaitUntil([&] {
            busy = BusyOtherThread();
            return busy.find("(qvx-probe) is running") != std::string::npos;
        })) << busy;
    }
    {
        const NamedThread waiting(false);
        // It may still be on its way into the wait.
        std::string busy;
        EXPECT_TRUE(quorvex::testing::WaitUntil([&] {
            busy = BusyOtherThread();
            return busy.empty();
        })) << busy;
    }
}

TEST(ThreadActivity, AThreadThatRanBetweenTheSamplesOrCameOrWentIsNotAtRest)
{
    const std::vector<ThreadSample> before{{7, "worker", 'S', 10}, {9, "server", 'S', 4}};
    EXPECT_EQ(FindBusyThread(before, before), "");
    EXPECT_EQ(FindBusyThread(before, {{7, "worker", 'S', 11}, {9, "server", 'S', 4}}), "thread 7 (worker) ran meanwhile");
    EXPECT_EQ(FindBusyThread(before, {{7, "worker", 'D', 10}, {9, "server", 'S', 4}}), "thread 7 (worker) is running");
    EXPECT_EQ(FindBusyThread(before, {{7, "worker", 'S', 10}, {8, "curl", 'S', 0}, {9, "server", 'S', 4}}),
              "thread 8 (curl) has just started");
    EXPECT_EQ(FindBusyThread(before, {{9, "server", 'S', 4}}), "a thread has just ended");
}

}  // namespace
}  // namespace sim
