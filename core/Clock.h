#pragma once
// The plug-in's one source of the current time: the wall clock for dates the service keeps (trade
// start and end times), the steady clock for durations (cooldowns and their countdown). A wall
// clock set back an hour must not stretch a 10 s cooldown to an hour, so no duration is measured
// on it; the host's timers (debounce, retry waits) run on its own steady time. Tests point both
// at the substitute host's virtual clocks so they advance time instead of sleeping.
//
// Thread safety: Now and SteadyNow may be called from any thread. SetSource and SetSteadySource
// are for test set-up, while no plug-in thread runs; they are guarded anyway so a late reader
// never sees a torn function.
#include <chrono>
#include <functional>

namespace quorvex {

using SystemTime = std::chrono::system_clock::time_point;
using SteadyTime = std::chrono::steady_clock::time_point;

class Clock {
public:
    static SystemTime Now();
    static SteadyTime SteadyNow();
    // An empty source restores the system's clock.
    static void SetSource(std::function<SystemTime()> source);
    static void SetSteadySource(std::function<SteadyTime()> source);
};

}  // namespace quorvex
