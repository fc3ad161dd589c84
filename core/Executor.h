#pragma once
// Where work that needs no host runs: the plug-in hands heavy steps (reading files, building and
// writing large JSON texts) to an Executor so that the game thread is not held up by them.
//
//   executor->Post([data = std::move(data)] { ... });
//
// InlineExecutor runs each task at once on the posting thread (tests, deterministic on virtual
// time; and the baseline of the benchmarks). WorkerThreadExecutor runs tasks one after another,
// in the order they were posted, on one background thread of its own, at a lowered priority so
// that waking it never preempts the game thread.
//
// A task must not throw (wrap its body in CatchAndLog); the worker contains an escaping one anyway
// so its thread never ends early. A task that can outlive what posted it holds only weak
// references to it and does nothing once it is gone; tasks must never hold the last strong
// reference to an executor's owner, since the worker cannot join itself.
//
// Threads: Post may be called from any thread. The worker's queue is guarded by a mutex; its
// destructor is called by the owner on any thread but the worker's own.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "core/Boundary.h"

namespace quorvex {

class Executor {
public:
    using Task = std::function<void()>;

    virtual ~Executor() = default;
    virtual void Post(Task task) = 0;
};

class InlineExecutor final : public Executor {
public:
    void Post(Task task) override;
};

class WorkerThreadExecutor final : public Executor {
public:
    WorkerThreadExecutor();
    // Lets the worker finish every task posted so far, then joins it.
    ~WorkerThreadExecutor() override;
    WorkerThreadExecutor(const WorkerThreadExecutor&) = delete;
    WorkerThreadExecutor& operator=(const WorkerThreadExecutor&) = delete;

    void Post(Task task) override;

private:
    void Run();

    std::mutex mutex_;  // guards tasks_ and stopping_
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool stopping_ = false;
    std::thread thread_;  // last: starts after the members it uses exist
};

// A task that runs body() only while the object behind `weak` exists, without ever holding it
// (so the object is never destroyed on the executor's thread), and logs whatever body() throws
// under `where`. body may move its captures out: it runs at most once.
template <class T, class Body>
Executor::Task WeakTask(std::weak_ptr<T> weak, const char* where, Body body)
{
    return [weak = std::move(weak), where, body = std::move(body)]() mutable {
        CatchAndLog(where, [&] {
            if (!weak.expired()) {
                body();
            }
        });
    };
}

}  // namespace quorvex
