#include "core/Clock.h"

#include <mutex>
#include <utility>

namespace quorvex {
namespace {

std::mutex sourceMutex;
std::function<SystemTime()> wallSource;
std::function<SteadyTime()> steadySource;

// The source's reading, or the system clock's when none is set; the source is called outside the
// lock.
template <class SystemClock, class Source>
typename SystemClock::time_point Read(const Source& source)
{
    std::unique_lock<std::mutex> lock(sourceMutex);
    if (!source) {
        return SystemClock::now();
    }
    auto current = source;
    lock.unlock();
    return current();
}

}  // namespace

SystemTime Clock::Now()
{
    return Read<std::chrono::system_clock>(wallSource);
}

SteadyTime Clock::SteadyNow()
{
    return Read<std::chrono::steady_clock>(steadySource);
}

void Clock::SetSource(std::function<SystemTime()> newSource)
{
    std::lock_guard<std::mutex> lock(sourceMutex);
    wallSource = std::move(newSource);
}

void Clock::SetSteadySource(std::function<SteadyTime()> newSource)
{
    std::lock_guard<std::mutex> lock(sourceMutex);
    steadySource = std::move(newSource);
}

}  // namespace quorvex
