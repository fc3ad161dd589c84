#pragma once
// A text shared between threads: replaced whole and read as a copy, both under its own lock, so
// a reader never sees a text half replaced. Holds the user code, which the WebSocket thread
// replaces while the game thread reads it.
//
// Threads: every operation may be called from any thread.
#include <mutex>
#include <string>
#include <utility>

namespace quorvex {

class GuardedText {
public:
    std::string Get() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    bool IsEmpty() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_.empty();
    }
    void Set(std::string value)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = std::move(value);
    }

private:
    mutable std::mutex mutex_;
    std::string value_;
};

}  // namespace quorvex
