#pragma once
// The plug-in's one source of the current time. Cooldowns and the settings page read it; tests
// point it at the substitute host's virtual clock so they advance time instead of sleeping.
//
// Thread safety: Now may be called from any thread. SetSource is for test set-up, while no
// plug-in thread runs; it is guarded anyway so a late reader never sees a torn function.
#include <chrono>
#include <functional>

namespace quorvex {

using SystemTime = std::chrono::system_clock::time_point;

class Clock {
public:
    static SystemTime Now();
    // An empty source restores the system clock.
    static void SetSource(std::function<SystemTime()> source);
};

}  // namespace quorvex
