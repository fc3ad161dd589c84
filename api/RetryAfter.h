#pragma once
// The wait a 429 (too many requests) or 503 (unavailable) answer asks for before the next try of
// an upload that is retried. The host hands an HTTP completion only the status and the body, not
// the answer's headers, so a Retry-After reaches the plug-in in the body: a top-level
// "retryAfter" in either form of the header, whole seconds (a number or a text of digits) or an
// HTTP date ("Wed, 21 Oct 2026 07:28:00 GMT", and the obsolete RFC 850 and asctime forms). The
// wait is at least 1 s and at most the longest retry wait, RetryBackoff::Longest.
//
//   ReadRetryAfter(503, R"({"retryAfter":120})", Clock::Now());  // 120 s
//
// Any thread; never throws.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "core/Clock.h"

namespace quorvex {

// The wait asked for, or empty: another status, no usable "retryAfter", or a body that is not
// JSON. A date is measured against `now`, the wall clock.
std::optional<std::chrono::seconds> ReadRetryAfter(int status, const std::string& body, SystemTime now);

// An HTTP date in any of its three forms, always in GMT; empty when the text is none of them.
std::optional<SystemTime> ParseHttpDate(std::string_view text);

}  // namespace quorvex
