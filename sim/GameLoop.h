#pragma once
// The game thread's loop and the host clock: Execute tasks, SetTimeout timers and the time they
// are measured in.
//
// Virtual time (tests): the clock starts at 2026-01-01T00:00:00Z and moves only inside RunFor,
// which jumps from one due timer to the next, so waiting costs nothing. Real time (plexar-sim):
// the clock is the system clock and RunFor sleeps until the next timer, task or the end.
//
// Threads: Now, Post and PostAfter may be called from any thread. RunFor and RunUntilIdle are
// called by one thread, which thereby acts as the game thread: every task and timer runs there,
// never under the loop's lock. The queues and the virtual clock are guarded by mutex_; a Post
// wakes a sleeping RunFor through wake_.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "sim/Host.h"

namespace sim {

class GameLoop {
public:
    using Task = std::function<void()>;
    // Receives the console line for a task or timer that threw.
    using ErrorReport = std::function<void(const std::string& line)>;

    GameLoop(bool virtualTime, ErrorReport report);

    Clock::time_point Now() const;

    // Queues a task to run soon, after the tasks queued before it.
    void Post(Task task);
    // Queues a timer due `delay` from now (a negative delay counts as 0). Timers due at the same
    // time run in the order they were set.
    void PostAfter(Seconds delay, Task task);

    // Runs queued tasks, then each timer when it falls due, until `duration` has passed.
    void RunFor(Seconds duration);
    // Runs queued tasks and timers already due, without letting time pass.
    void RunUntilIdle();

    // Drops every task and timer not yet run; later posts are dropped at once. Called by ~Host
    // while the services the dropped callbacks may still reach are alive.
    void Shutdown();

private:
    using TimerKey = std::pair<Clock::time_point, std::uint64_t>;

    // The next task, or the next timer due by `end` (virtual time: the clock moves to its due
    // time); empty when nothing is ready.
    Task TakeReady(Clock::time_point end);

    const bool virtualTime_;
    const ErrorReport report_;
    bool running_ = false;  // game thread only: refuses a nested RunFor

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    Clock::time_point virtualNow_;
    std::deque<Task> tasks_;
    std::map<TimerKey, Task> timers_;
    std::uint64_t nextTimerNumber_ = 0;
    bool closed_ = false;
};

}  // namespace sim
