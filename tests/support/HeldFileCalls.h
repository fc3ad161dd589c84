#pragma once
// The system's file calls (core/OsFileCalls.h), except that the replace step finds the target in
// use, as when another program holds it open, for the next `refusals` attempts (or for good):
// a sharing violation on Windows, EBUSY elsewhere. Every attempt is counted; with no refusals
// left the calls are the system's, so a test can hold the file for real (HeldOpen) and watch.
//
// Threads: the counters are atomics; the file calls run on the plug-in's threads.
#include <atomic>
#include <filesystem>

#include "core/OsFileCalls.h"

namespace quorvex::testing {

struct HeldTarget {
    static constexpr int ForGood = -1;
    // Replace attempts still to be refused; ForGood refuses every one.
    static inline std::atomic<int> refusals{0};
    static inline std::atomic<int> attempts{0};
};

const OsFileCalls& HeldFileCalls();

#ifdef _WIN32
// A file held open as an antivirus scanner holds one it reads: for reading, sharing reading and
// writing but not deletion, so that it cannot be replaced until released.
struct HeldOpen {
    explicit HeldOpen(const std::filesystem::path& file)
        : handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~HeldOpen() { CloseHandle(handle); }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    const HANDLE handle;
};
#endif

}  // namespace quorvex::testing
