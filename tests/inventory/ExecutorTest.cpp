#include "core/Executor.h"

#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

TEST(WorkerThreadExecutorTest, RunsTasksInOrderOffThePostingThreadAndFinishesThemBeforeStopping)
{
    testing::TestHost host;  // the log
    std::vector<int> order;  // written by the worker only, read after the join
    std::thread::id workerId;
    {
        WorkerThreadExecutor worker;
        worker.Post([&] { workerId = std::this_thread::get_id(); });
        for (int task = 0; task < 100; ++task) {
            worker.Post([&order, task] {
                if (task == 50) {
                    throw std::runtime_error("task 50 failed");
                }
                order.push_back(task);
            });
        }
    }
    EXPECT_NE(workerId, std::this_thread::get_id());
    ASSERT_EQ(order.size(), 99u);
    for (std::size_t index = 1; index < order.size(); ++index) {
        EXPECT_LT(order[index - 1], order[index]);
    }
    EXPECT_TRUE(host->ConsoleContains("Exception in WorkerThreadExecutor::Run: task 50 failed"));
}

TEST(WeakTaskTest, RunsOnlyWhileItsObjectLivesAndNeverKeepsItAlive)
{
    testing::TestHost host;
    auto owner = std::make_shared<int>(0);
    int runs = 0;
    auto task = WeakTask(std::weak_ptr<int>(owner), "Owner::Work", [&] {
        EXPECT_EQ(owner.use_count(), 1);
        ++runs;
        throw std::logic_error("contained");
    });
    task();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(host->ConsoleContains("Exception in Owner::Work: contained"));
    owner.reset();
    task();
    EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace quorvex
