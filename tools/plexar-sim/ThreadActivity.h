#pragma once
// Whether the other threads of this process are at rest: what virtual time needs to know before
// it jumps, since a plug-in's own threads (a worker preparing a request, a WebSocket server
// answering) may still be doing work that belongs to the current moment.
//
// A thread is at rest between two samples when it is blocked (neither running nor runnable, "R",
// nor in uninterruptible sleep, "D") in both and its context-switch counts did not change, so it
// did not run at all in between. Two samples a moment apart catch the thread that one sample
// alone would miss: one woken by another thread just after it was looked at.
//
// Linux only: reads /proc/self/task/*/status.
//
// Threads: any thread; each call reads the files afresh and shares nothing.
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct ThreadSample {
    long id;
    std::string name;
    char state;  // as in /proc: 'R', 'S', 'D', ...
    std::uint64_t contextSwitches;  // voluntary and involuntary
};

// Every thread of the process but the calling one, by id. Throws std::runtime_error when
// /proc/self/task cannot be read.
std::vector<ThreadSample> SampleOtherThreads();

// "thread 1234 (name) is running", for the first thread not at rest between the two samples (a
// thread that began or ended in between counts as not at rest); empty when all were.
std::string FindBusyThread(const std::vector<ThreadSample>& first, const std::vector<ThreadSample>& second);

// The hold check of plexar-sim --virtual-time (sim::HostOptions::busyOtherThread): two samples a
// moment apart, and the first thread not at rest between them.
std::string BusyOtherThread();

}  // namespace sim
