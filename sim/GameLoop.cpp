#include "sim/GameLoop.h"

#include <algorithm>
#include <stdexcept>

#include "sim/Guard.h"

namespace sim {
namespace {

// 2026-01-01T00:00:00Z, where virtual time starts.
constexpr std::chrono::seconds VirtualStart{1767225600};

// Delays longer than this (about 31 years, also infinity) are held at it.
constexpr double LongestDelaySeconds = 1e9;

// Rounded to the clock's tick, so that equal decimal durations always meet: a timer set for
// 10.1 s falls due within RunFor(10.1 s). (GameWrapper::SetTimeout turns its float seconds into
// the decimal number the caller wrote before they get here.)
Clock::duration ToClockDuration(Seconds seconds)
{
    if (!(seconds.count() > 0)) {  // also NaN
        return Clock::duration::zero();
    }
    return std::chrono::round<Clock::duration>(
        Seconds(std::min(seconds.count(), LongestDelaySeconds)));
}

}  // namespace

GameLoop::GameLoop(bool virtualTime, ErrorReport report)
    : virtualTime_(virtualTime), report_(std::move(report)), virtualNow_(VirtualStart)
{
}

Clock::time_point GameLoop::Now() const
{
    if (!virtualTime_) {
        return Clock::now();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return virtualNow_;
}

void GameLoop::Post(Task task)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!closed_) {
            tasks_.push_back(std::move(task));
        }
    }
    wake_.notify_all();
    // A task refused after Shutdown is destroyed here, outside the lock.
}

void GameLoop::PostAfter(Seconds delay, Task task)
{
    const Clock::time_point due = Now() + ToClockDuration(delay);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!closed_) {
            timers_.emplace(TimerKey{due, nextTimerNumber_++}, std::move(task));
        }
    }
    wake_.notify_all();
}

GameLoop::Task GameLoop::TakeReady(Clock::time_point end)
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
    const Clock::time_point due = first->first.first;
    if (virtualTime_) {
        if (due > end) {
            return {};
        }
        virtualNow_ = std::max(virtualNow_, due);
    } else if (due > Clock::now()) {
        return {};
    }
    Task timer = std::move(first->second);
    timers_.erase(first);
    return timer;
}

void GameLoop::RunFor(Seconds duration)
{
    if (running_) {
        throw std::logic_error("plexar-sim: RunFor called from a task or timer");
    }
    running_ = true;
    const Clock::time_point end = Now() + ToClockDuration(duration);
    for (;;) {
        if (Task ready = TakeReady(end)) {
            CallGuarded(report_, "task", ready);
            continue;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (virtualTime_) {
            virtualNow_ = std::max(virtualNow_, end);
            break;
        }
        if (!tasks_.empty()) {
            continue;  // posted after TakeReady looked
        }
        if (Clock::now() >= end) {
            break;
        }
        Clock::time_point wakeAt = end;
        if (!timers_.empty()) {
            wakeAt = std::min(wakeAt, timers_.begin()->first.first);
        }
        wake_.wait_until(lock, wakeAt);
    }
    running_ = false;
}

void GameLoop::RunUntilIdle()
{
    RunFor(Seconds{0});
}

void GameLoop::Shutdown()
{
    std::deque<Task> tasks;
    std::map<TimerKey, Task> timers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        tasks.swap(tasks_);
        timers.swap(timers_);
    }
    // Destroyed here, outside the lock: their captures may post (and be dropped) or log.
}

}  // namespace sim
