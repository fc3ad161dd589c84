#include "tools/plexar-sim/VirtualWallClock.h"

#include <dlfcn.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "sim/Guard.h"

namespace plexarsim {
namespace {

std::atomic<const sim::Host*> virtualSource{nullptr};

using ClockGettime = int (*)(clockid_t, timespec*);

// The C library's clock_gettime, which ours stands in front of.
ClockGettime SystemClockGettime()
{
    static const auto found = reinterpret_cast<ClockGettime>(::dlsym(RTLD_NEXT, "clock_gettime"));
    return found;
}

}  // namespace

VirtualWallClock::VirtualWallClock(const sim::Host& host)
{
    const sim::Host* none = nullptr;
    if (!virtualSource.compare_exchange_strong(none, &host)) {
        throw std::logic_error("plexar-sim: the wall clock is already virtual");
    }
}

VirtualWallClock::~VirtualWallClock()
{
    virtualSource.store(nullptr);
}

}  // namespace plexarsim

extern "C" int clock_gettime(clockid_t clock, timespec* time)
{
    const sim::Host* host = plexarsim::virtualSource.load();
    if (host != nullptr && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
        const auto sinceEpoch = std::chrono::duration_cast<std::chrono::nanoseconds>(host->Now().time_since_epoch());
        time->tv_sec = static_cast<time_t>(sinceEpoch.count() / 1'000'000'000);
        time->tv_nsec = static_cast<long>(sinceEpoch.count() % 1'000'000'000);
        return 0;
    }
    if (host != nullptr && clock == CLOCK_MONOTONIC && sim::PluginCallScope::Active()) {
        const auto sinceEpoch = std::chrono::duration_cast<std::chrono::nanoseconds>(host->SteadyNow().time_since_epoch());
        time->tv_sec = static_cast<time_t>(sinceEpoch.count() / 1'000'000'000);
        time->tv_nsec = static_cast<long>(sinceEpoch.count() % 1'000'000'000);
        return 0;
    }
    if (const auto system = plexarsim::SystemClockGettime()) {
        return system(clock, time);
    }
    return static_cast<int>(::syscall(SYS_clock_gettime, clock, time));
}
