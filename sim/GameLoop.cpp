#include "sim/GameLoop.h"

#include <algorithm>
#include <stdexcept>

#include <fmt/format.h>

#include "sim/Guard.h"

namespace sim {
namespace {

// How often a held clock looks again, and how long it stays held by work that never ends (a
// thread that keeps running) before it moves on regardless. Requests end by their own time-out
// well before that.
constexpr std::chrono::milliseconds HoldRecheck{1};
constexpr std::chrono::seconds LongestHold{60};

// Delays longer than this (about 31 years, also infinity) are held at it.
constexpr double LongestDelaySeconds = 1e9;

// Rounded to the clock's tick, so that equal decimal durations always meet: a timer set for
// 10.1 s falls due within RunFor(10.1 s). (GameWrapper::SetTimeout turns its float seconds into
// the decimal number the caller wrote before they get here.)
SteadyClock::duration ToClockDuration(Seconds seconds)
{
    if (!(seconds.count() > 0)) {  // also NaN
        return SteadyClock::duration::zero();
    }
    return std::chrono::round<SteadyClock::duration>(
        Seconds(std::min(seconds.count(), LongestDelaySeconds)));
}

// Marks the loop running for a scope; refuses a run of the loop from a task, timer or host work.
class RunningScope {
public:
    explicit RunningScope(bool& running) : running_(running)
    {
        if (running_) {
            throw std::logic_error("plexar-sim: RunFor or Idle called from a task, timer or host work");
        }
        running_ = true;
    }
    ~RunningScope() { running_ = false; }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;

private:
    bool& running_;
};

}  // namespace

GameLoop::GameLoop(bool virtualTime, Clock::time_point virtualStart, ErrorReport report,
                   HoldCheck holdCheck)
    : virtualTime_(virtualTime), report_(std::move(report)), holdCheck_(std::move(holdCheck)),
      virtualStart_(virtualStart), steadyOrigin_(SteadyClock::now()),
      virtualSteady_(steadyOrigin_.time_since_epoch().count())
{
}

Clock::time_point GameLoop::Now() const
{
    const Clock::duration shift(wallShift_.load());
    if (!virtualTime_) {
        return Clock::now() + shift;
    }
    return virtualStart_ + std::chrono::duration_cast<Clock::duration>(SteadyNow() - steadyOrigin_) + shift;
}

SteadyClock::time_point GameLoop::SteadyNow() const
{
    if (!virtualTime_) {
        return SteadyClock::now();
    }
    return SteadyClock::time_point(SteadyClock::duration(virtualSteady_.load()));
}

void GameLoop::ShiftWallClock(Clock::duration shift)
{
    std::lock_guard<std::mutex> lock(mutex_);
    wallShift_.store(wallShift_.load() + shift.count());
}

void GameLoop::SetVirtualNow(SteadyClock::time_point now)
{
    if (now > SteadyNow()) {
        virtualSteady_.store(now.time_since_epoch().count());
    }
}

std::uint64_t GameLoop::Activity() const
{
    return activity_.load();
}

void GameLoop::Post(Task task)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!closed_) {
            tasks_.push_back(std::move(task));
            ++activity_;
        }
    }
    wake_.notify_all();
    // A task refused after Shutdown is destroyed here, outside the lock.
}

void GameLoop::PostHostWork(Task work)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!closed_) {
            hostWork_.push_back(std::move(work));
        }
    }
    wake_.notify_all();
}

void GameLoop::RunHostWork()
{
    std::deque<Task> work;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        work.swap(hostWork_);
    }
    for (Task& piece : work) {
        CallGuarded(report_, "host work", piece);
    }
}

void GameLoop::PostAfter(Seconds delay, Task task)
{
    const SteadyClock::time_point due = SteadyNow() + ToClockDuration(delay);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!closed_) {
            timers_.emplace(TimerKey{due, nextTimerNumber_++}, std::move(task));
            ++activity_;
        }
    }
    wake_.notify_all();
}

GameLoop::Task GameLoop::TakeReady(SteadyClock::time_point end, bool mayJump)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!tasks_.empty()) {
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        return task;
    }
    if (timers_.empty()) {
        return {};
    }
    auto first = timers_.begin();
    const SteadyClock::time_point due = first->first.first;
    if (virtualTime_) {
        if (due > end || (due > SteadyNow() && !mayJump)) {
            return {};
        }
        SetVirtualNow(due);
    } else if (due > SteadyClock::now()) {
        return {};
    }
    Task timer = std::move(first->second);
    timers_.erase(first);
    return timer;
}

void GameLoop::RunFor(Seconds duration)
{
    const RunningScope running(running_);  // cleared however RunFor ends (a hold check may throw)
    const SteadyClock::time_point end = SteadyNow() + ToClockDuration(duration);
    // Virtual time: whether the hold check found nothing holding the clock since the last task.
    bool mayJump = !holdCheck_;
    for (;;) {
        RunHostWork();
        if (Task ready = TakeReady(end, mayJump)) {
            CallGuardedOnGameThread(report_, "task", ready);
            mayJump = !holdCheck_;
            continue;
        }
        if (virtualTime_) {
            if (!mayJump) {
                mayJump = WaitUntilNothingHoldsTime();
                continue;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            SetVirtualNow(end);
            break;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (!tasks_.empty() || !hostWork_.empty()) {
            continue;  // posted after TakeReady looked
        }
        if (SteadyClock::now() >= end) {
            break;
        }
        SteadyClock::time_point wakeAt = end;
        if (!timers_.empty()) {
            wakeAt = std::min(wakeAt, timers_.begin()->first.first);
        }
        wake_.wait_until(lock, wakeAt);
    }
}

bool GameLoop::WaitUntilNothingHoldsTime()
{
    const auto since = SteadyClock::now();
    for (;;) {
        const std::string holder = holdCheck_();
        if (holder.empty()) {
            return true;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (!tasks_.empty()) {
            return false;  // run it first; the clock is looked at again afterwards
        }
        if (!hostWork_.empty()) {
            // Served while the clock is held, without starting the hold over.
            lock.unlock();
            RunHostWork();
            continue;
        }
        if (SteadyClock::now() - since > LongestHold) {
            lock.unlock();
            report_(fmt::format("plexar-sim: virtual time moves on after {} s although {}",
                                LongestHold.count(), holder));
            return true;
        }
        // The real steady clock: the process's clocks may themselves be the virtual ones.
        wake_.wait_for(lock, HoldRecheck);
    }
}

void GameLoop::RunUntilIdle()
{
    RunFor(Seconds{0});
}

void GameLoop::Idle(Seconds duration)
{
    if (!virtualTime_) {
        RunFor(duration);
        return;
    }
    const RunningScope running(running_);
    // The real steady clock: the virtual one stands still here.
    const auto until = SteadyClock::now() + ToClockDuration(duration);
    for (;;) {
        RunHostWork();
        if (Task ready = TakeReady(SteadyNow(), false)) {
            CallGuardedOnGameThread(report_, "task", ready);
            continue;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (!tasks_.empty() || !hostWork_.empty()) {
            continue;
        }
        if (SteadyClock::now() >= until) {
            break;
        }
        wake_.wait_until(lock, until);
    }
}

void GameLoop::Shutdown()
{
    std::deque<Task> tasks;
    std::deque<Task> hostWork;
    std::map<TimerKey, Task> timers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        tasks.swap(tasks_);
        hostWork.swap(hostWork_);
        timers.swap(timers_);
    }
    // Destroyed here, outside the lock: their captures may post (and be dropped) or log.
}

}  // namespace sim
