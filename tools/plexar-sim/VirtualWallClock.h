#pragma once
// Makes the host's virtual clock the wall clock of the whole process, so that a plug-in library
// which reads the time itself (std::chrono::system_clock, as its cooldowns do) sees the same
// virtual time as the host's timers. plexar-sim defines clock_gettime: reads of CLOCK_REALTIME
// (and CLOCK_REALTIME_COARSE) return the host's wall clock while a VirtualWallClock exists, and
// reads of CLOCK_MONOTONIC the host's steady clock inside plug-in code on the game thread
// (sim::PluginCallScope), where the plug-in measures its cooldowns; every other read of the
// monotonic clock (the host's own waits, libcurl's and WebSocket++'s time-outs) stays real, and so
// do all reads when none exists.
//
// Threads: construct and destroy on the thread that plays the session (the main thread, or the
// game thread with --window), while the host exists; the clock may be read from any thread (the
// host's clock is an atomic, so a read never waits).
#include "sim/Host.h"

namespace plexarsim {

class VirtualWallClock {
public:
    // Throws std::logic_error when another one exists.
    explicit VirtualWallClock(const sim::Host& host);
    ~VirtualWallClock();
    VirtualWallClock(const VirtualWallClock&) = delete;
    VirtualWallClock& operator=(const VirtualWallClock&) = delete;
};

}  // namespace plexarsim
