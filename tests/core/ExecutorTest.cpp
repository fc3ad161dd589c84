#include "core/Executor.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

constexpr auto HangDeadline = std::chrono::seconds(30);

TEST(WorkerThreadExecutorTest, RunsTasksInOrderOffThePostingThreadAndContainsWhatTheyThrow)
{
    testing::TestHost host;  // the log
    std::vector<int> order;  // written by the worker only, read once the last task signalled
    std::thread::id workerId;
    std::promise<void> done;
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
        worker.Post([&] { done.set_value(); });
        ASSERT_EQ(done.get_future().wait_for(HangDeadline), std::future_status::ready);
    }
    EXPECT_NE(workerId, std::this_thread::get_id());
    ASSERT_EQ(order.size(), 99u);
    for (std::size_t index = 1; index < order.size(); ++index) {
        EXPECT_LT(order[index - 1], order[index]);
    }
    EXPECT_TRUE(host->ConsoleContains("Exception in WorkerThreadExecutor::Run: task 50 failed"));
}

TEST(WorkerThreadExecutorTest, DestructionLeavesAStuckTaskBehindAndDropsTheTasksNotStarted)
{
    std::promise<void> started;
    std::promise<void> unblock;
    std::shared_future<void> unblocked = unblock.get_future().share();
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> stuckTaskEnded = finished->get_future();
    auto laterTaskRan = std::make_shared<std::atomic<bool>>(false);

    auto worker = std::make_unique<WorkerThreadExecutor>();
    worker->Post([&started, unblocked, finished] {
        started.set_value();
        unblocked.wait();  // stands for a read that never ends
        finished->set_value();
    });
    worker->Post([laterTaskRan] { *laterTaskRan = true; });
    ASSERT_EQ(started.get_future().wait_for(HangDeadline), std::future_status::ready);

    auto destroyed = std::async(std::launch::async, [&worker] { worker.reset(); });
    ASSERT_EQ(destroyed.wait_for(HangDeadline), std::future_status::ready) << "destruction waited for the task";

    unblock.set_value();
    ASSERT_EQ(stuckTaskEnded.wait_for(HangDeadline), std::future_status::ready);
    EXPECT_FALSE(*laterTaskRan);
}

TEST(OwnerGateTest, RunsBodiesUntilClosedAndCloseWaitsForTheBodyInProgress)
{
    OwnerGate gate;
    int runs = 0;
    EXPECT_TRUE(gate.RunWhileOpen([&] { ++runs; }));

    std::promise<void> inside;
    std::promise<void> leave;
    std::atomic<bool> bodyDone{false};
    std::thread body([&] {
        gate.RunWhileOpen([&] {
            inside.set_value();
            leave.get_future().wait();
            bodyDone = true;
        });
    });
    inside.get_future().wait();
    std::promise<void> closing;
    auto closed = std::async(std::launch::async, [&] {
        closing.set_value();
        gate.Close();
        return bodyDone.load();
    });
    closing.get_future().wait();
    // A correct Close cannot return while the body runs, so this look can only fail when Close
    // does not wait; its length sets how surely such a fault is caught, never whether a correct
    // gate passes.
    EXPECT_EQ(closed.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    leave.set_value();
    EXPECT_TRUE(closed.get()) << "Close returned while a body was running";
    body.join();
    EXPECT_FALSE(gate.RunWhileOpen([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
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
