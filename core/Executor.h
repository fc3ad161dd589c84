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
// Destroying a WorkerThreadExecutor never waits on I/O: the tasks not yet started are dropped,
// and a task still running after a short grace (a huge file, a FIFO that never opens) is left to
// finish on its own thread, which then ends by itself. Such a task must therefore do whatever
// others can see (log, send, set timers) under an OwnerGate that its owner closes first thing in
// its destructor.
//
// A task must not throw (wrap its body in CatchAndLog); the worker contains an escaping one anyway
// so its thread never ends early. A task that can outlive what posted it holds only weak
// references to it and does nothing once it is gone; tasks must never hold the last strong
// reference to an executor's owner, since the worker cannot destroy its own executor.
//
// Threads: Post may be called from any thread. The queue is guarded by a mutex and shared with
// the worker thread, which may outlive the executor; the destructor is called by the owner on any
// thread but the worker's own.
#include <chrono>
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
    // How long destruction waits for the task in progress before it leaves it to finish alone.
    static constexpr std::chrono::milliseconds StopGrace{50};

    WorkerThreadExecutor();
    // Drops the tasks not yet started and waits at most StopGrace for the one running. A worker
    // still busy then is left to end by itself, and the plug-in's library stays loaded for it.
    ~WorkerThreadExecutor() override;
    WorkerThreadExecutor(const WorkerThreadExecutor&) = delete;
    WorkerThreadExecutor& operator=(const WorkerThreadExecutor&) = delete;

    void Post(Task task) override;

private:
    struct Queue;
    static void Run(const std::shared_ptr<Queue>& queue);

    std::shared_ptr<Queue> queue_;
    std::thread thread_;  // last: starts after the queue exists
};

// Lets work on other threads act only while the owner lives. The owner closes the gate first
// thing in its destructor; Close waits for a body in progress, so once it returns no body runs
// again. Bodies are short (a log line, handing a request to the host) and never enter the gate
// again.
//
// Threads: any; one mutex guards the flag and is held while a body runs.
class OwnerGate {
public:
    // Runs body() and returns true while the gate is open; false, without running it, once closed.
    template <class Body>
    bool RunWhileOpen(Body&& body)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) {
            return false;
        }
        body();
        return true;
    }
    void Close();

private:
    std::mutex mutex_;
    bool closed_ = false;
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
