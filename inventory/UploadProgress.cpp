#include "inventory/UploadProgress.h"

namespace quorvex {

std::uint64_t UploadProgress::StartUpload()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ++latestUpload_;
}

std::uint64_t UploadProgress::LatestUpload() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return latestUpload_;
}

bool UploadProgress::IsLatest(std::uint64_t upload) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return upload == latestUpload_;
}

bool UploadProgress::FullRequired() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return fullRequired_;
}

void UploadProgress::RequireFull()
{
    std::lock_guard<std::mutex> lock(mutex_);
    fullRequired_ = true;
}

void UploadProgress::Answered()
{
    std::lock_guard<std::mutex> lock(mutex_);
    failedDiffsInRow_ = 0;
    backoff_.Reset();
}

void UploadProgress::FullUploadStored()
{
    std::lock_guard<std::mutex> lock(mutex_);
    fullRequired_ = false;
}

UploadProgress::Retry UploadProgress::Failed(bool wasFull)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!wasFull && ++failedDiffsInRow_ >= FailedDiffsBeforeFull) {
        failedDiffsInRow_ = 0;
        fullRequired_ = true;
    }
    return {backoff_.Next(), fullRequired_};
}

bool UploadProgress::ClaimSnapshot(std::uint64_t upload)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (upload <= snapshotUpload_) {
        return false;
    }
    snapshotUpload_ = upload;
    return true;
}

}  // namespace quorvex
