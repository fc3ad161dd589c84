#pragma once
// The growing wait before a request that failed is tried again: 30 s, then twice the last wait
// up to 10 min, until a success starts the series over.
//
//   RetryBackoff backoff;
//   backoff.Next();  // 30 s
//   backoff.Next();  // 60 s
//   backoff.Reset();
//
// Threads: not synchronised; its owner guards it.
#include <chrono>

namespace quorvex {

class RetryBackoff {
public:
    static constexpr std::chrono::seconds First{30};
    static constexpr std::chrono::seconds Longest{600};

    // The wait before the next try; each call doubles the one after it, up to Longest.
    std::chrono::seconds Next();
    void Reset();

private:
    std::chrono::seconds next_ = First;
};

}  // namespace quorvex
