#include "api/RetryBackoff.h"

#include <algorithm>

namespace quorvex {

std::chrono::seconds RetryBackoff::Next()
{
    const std::chrono::seconds wait = next_;
    next_ = std::min(next_ * 2, Longest);
    return wait;
}

void RetryBackoff::Reset()
{
    next_ = First;
}

}  // namespace quorvex
