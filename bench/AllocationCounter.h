#pragma once
// Counts the bytes the whole process holds through operator new, so a benchmark can report the
// extra memory one operation needed at its peak. Replaces the global operator new and delete of
// the benchmark program (and only of it).
//
// Threads: the counters are atomics, updated by every thread that allocates; ResetPeak and the
// readers are meant for the benchmark's own thread between measured steps.
#include <cstddef>

namespace quorvex::bench {

std::size_t AllocatedBytes();
std::size_t PeakAllocatedBytes();
// The peak starts again from what is allocated now.
void ResetPeak();

}  // namespace quorvex::bench
