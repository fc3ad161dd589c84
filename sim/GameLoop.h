#pragma once
// The game thread's loop and the host clock: Execute tasks, SetTimeout timers and the time they
// are measured in.
//
// Two clocks: the steady one that timers and durations are measured in (SteadyNow), and the wall
// clock the host shows and a plug-in reads for dates (Now). The wall clock may be set (a player
// fixing the time zone, an NTP step: ShiftWallClock); the steady one only moves forward.
//
// Virtual time (tests, plexar-sim --virtual-time): both clocks start at a given moment and move
// together only inside RunFor, which jumps from one due timer to the next, so waiting costs
// nothing. Before each jump RunFor may ask a hold check what still holds the clock (work under
// way on other threads, which must happen at the current moment); it waits, in real time, until
// nothing does. Real time (plexar-sim by default): the clocks are the system's, and RunFor sleeps
// on the steady one until the next timer, task or the end.
//
// Host work (PostHostWork: plexar-sim's window asking for a frame) is the host's own business on
// the game thread, not the game's: it runs whenever the loop runs or waits, also while something
// holds the virtual clock, but it is not counted by Activity, holds nothing and never moves the
// clock, so a window drawing frames changes nothing about when virtual time jumps.
//
// Threads: Now, Post, PostAfter, PostHostWork and Activity may be called from any thread. RunFor,
// RunUntilIdle and Idle are called by one thread, which thereby acts as the game thread: every
// task, timer, host work and the hold check run there, never under the loop's lock. The queues are
// guarded by mutex_; a Post wakes a sleeping RunFor through wake_. The virtual clock and the wall
// clock's shift are written under mutex_ (the shift from any thread) and read without it
// (atomics), so Now and SteadyNow never wait, whatever lock their caller holds.
#include <atomic>
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
    // What holds the virtual clock now ("a request to URL is in flight"), or an empty text when
    // nothing does. May take a moment of real time to find out.
    using HoldCheck = std::function<std::string()>;

    // Virtual time starts at virtualStart. Without a hold check the clock jumps at once.
    GameLoop(bool virtualTime, Clock::time_point virtualStart, ErrorReport report,
             HoldCheck holdCheck = {});

    // The wall clock.
    Clock::time_point Now() const;
    // The steady clock: timers fall due on it.
    SteadyClock::time_point SteadyNow() const;
    // Sets the wall clock forward (or back, negative) by `shift`; timers and the steady clock
    // are not moved. Any thread.
    void ShiftWallClock(Clock::duration shift);

    // Queues a task to run soon, after the tasks queued before it.
    void Post(Task task);
    // Queues a timer due `delay` from now (a negative delay counts as 0). Timers due at the same
    // time run in the order they were set.
    void PostAfter(Seconds delay, Task task);

    // Queues host work to run on the game thread as soon as the loop runs or waits, before the
    // tasks. Not counted by Activity.
    void PostHostWork(Task work);

    // Runs queued tasks, then each timer when it falls due, until `duration` has passed.
    void RunFor(Seconds duration);
    // Runs queued tasks and timers already due, without letting time pass.
    void RunUntilIdle();
    // Lets `duration` of real time pass on the game thread: in real time as RunFor; in virtual
    // time the clock stands still while queued tasks, timers already due and host work run as
    // they come (the interactive prompt waiting for a line).
    void Idle(Seconds duration);

    // Counts every task and timer queued so far: a change tells a hold check that work was handed
    // to the game thread meanwhile.
    std::uint64_t Activity() const;

    // Drops every task, timer and host work not yet run; later posts are dropped at once. Called by ~Host
    // while the services the dropped callbacks may still reach are alive.
    void Shutdown();

private:
    using TimerKey = std::pair<SteadyClock::time_point, std::uint64_t>;

    // The next task, or the next timer due by `end`; empty when nothing is ready. In virtual time
    // a timer due later than now is taken only when mayJump, and the clock moves to its due time.
    Task TakeReady(SteadyClock::time_point end, bool mayJump);
    // Virtual time: waits (in real time) until the hold check finds nothing holding the clock or
    // a task is queued. True when the clock may jump.
    bool WaitUntilNothingHoldsTime();
    // Runs the host work queued now.
    void RunHostWork();
    void SetVirtualNow(SteadyClock::time_point now);

    const bool virtualTime_;
    const ErrorReport report_;
    const HoldCheck holdCheck_;
    bool running_ = false;  // game thread only: refuses a nested RunFor or Idle

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // Virtual time: the wall clock at the steady clock's origin (before any shift).
    const Clock::time_point virtualStart_;
    const SteadyClock::time_point steadyOrigin_;
    std::atomic<SteadyClock::rep> virtualSteady_;  // since the steady clock's epoch, in its ticks
    std::atomic<Clock::rep> wallShift_{0};           // in Clock ticks
    std::atomic<std::uint64_t> activity_{0};
    std::deque<Task> tasks_;
    std::deque<Task> hostWork_;
    std::map<TimerKey, Task> timers_;
    std::uint64_t nextTimerNumber_ = 0;
    bool closed_ = false;
};

}  // namespace sim
