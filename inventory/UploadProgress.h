#pragma once
// What the inventory sync has learnt from its uploads and their answers: the number of the
// latest upload, whether the next one must be a full sync, how many diffs failed in a row and how
// long to wait before trying again.
//
// - Every upload handed to the host gets the next number; an answer, a retry or a resync acts
//   only for the latest upload (a newer one has carried every change since).
// - A full sync is required after the service asked for one, after an answer whose guid cannot
//   be used, after the third failed diff in a row and after a snapshot that could not be stored;
//   only a full sync whose snapshot was stored lifts the requirement.
// - A failed upload is tried again after the growing waits of RetryBackoff; an answered one
//   starts them over.
//
// Threads: the game thread starts uploads, the HTTP completion thread reports answers, the
// executor reports stored snapshots; one mutex guards everything.
#include <chrono>
#include <cstdint>
#include <mutex>

#include "api/RetryBackoff.h"

namespace quorvex {

class UploadProgress {
public:
    static constexpr int FailedDiffsBeforeFull = 3;

    struct Retry {
        std::chrono::seconds wait;
        bool full;
    };

    // An upload is handed to the host; returns its number.
    std::uint64_t StartUpload();
    std::uint64_t LatestUpload() const;
    bool IsLatest(std::uint64_t upload) const;

    bool FullRequired() const;
    void RequireFull();

    // The service answered the upload (a 200 with a usable answer): the waits start over.
    void Answered();
    // The snapshot of a full upload the service took without asking for more was stored.
    void FullUploadStored();
    // The upload failed (no usable answer): when and how to try again.
    Retry Failed(bool wasFull);
    // Whether the answer to `upload` may replace the snapshot: not when a newer upload's answer
    // already did.
    bool ClaimSnapshot(std::uint64_t upload);

private:
    mutable std::mutex mutex_;  // guards the members below
    std::uint64_t latestUpload_ = 0;
    std::uint64_t snapshotUpload_ = 0;
    bool fullRequired_ = false;
    int failedDiffsInRow_ = 0;
    RetryBackoff backoff_;
};

}  // namespace quorvex
