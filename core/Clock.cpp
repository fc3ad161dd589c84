#include "core/Clock.h"

#include <mutex>
#include <utility>

namespace quorvex {
namespace {

std::mutex sourceMutex;
std::function<SystemTime()> source;

}  // namespace

SystemTime Clock::Now()
{
    std::unique_lock<std::mutex> lock(sourceMutex);
    if (!source) {
        return std::chrono::system_clock::now();
    }
    auto current = source;
    lock.unlock();
    return current();
}

void Clock::SetSource(std::function<SystemTime()> newSource)
{
    std::lock_guard<std::mutex> lock(sourceMutex);
    source = std::move(newSource);
}

}  // namespace quorvex
