// The wait a 429 or 503 answer asks for, in both forms of a Retry-After.
#include "api/RetryAfter.h"

#include <gtest/gtest.h>

namespace quorvex {
namespace {

using std::chrono::seconds;

const SystemTime Now{seconds{1792567680}};  // 2026-10-21T07:28:00Z

TEST(RetryAfter, SecondsOrAnHttpDateIn429Or503AreReadAndHeldWithinOneSecondAndTenMinutes)
{
    const std::pair<const char*, int> cases[] = {
        {R"({"retryAfter":120})", 120}, {R"({"retryAfter":"45","message":"slow down"})", 45},
        {R"({"retryAfter":3600})", 600}, {R"({"retryAfter":"99999999999999999999"})", 600}, {R"({"retryAfter":0})", 1},
        {R"({"retryAfter":"Wed, 21 Oct 2026 07:30:00 GMT"})", 120}, {R"({"retryAfter":"Wednesday, 21-Oct-26 07:29:30 GMT"})", 90},
        {R"({"retryAfter":"Wed Oct 21 07:28:10 2026"})", 10}, {R"({"retryAfter":"Thu, 22 Oct 2026 07:28:00 GMT"})", 600},
        {R"({"retryAfter":"Wed, 21 Oct 2026 07:00:00 GMT"})", 1}};
    for (const auto& [body, wait] : cases) {
        EXPECT_EQ(ReadRetryAfter(429, body, Now), seconds(wait)) << body;
        EXPECT_EQ(ReadRetryAfter(503, body, Now), seconds(wait)) << body;
        EXPECT_EQ(ReadRetryAfter(500, body, Now), std::nullopt) << body;
    }
    for (const char* body : {"", "<html>busy</html>", "[120]", R"({"message":"busy"})", R"({"retryAfter":-5})",
                             R"({"retryAfter":1.5})", R"({"retryAfter":"12 s"})", R"({"retryAfter":null})",
                             R"({"retryAfter":"Wed, 21 Oct 2026 07:30:00 CET"})", R"({"retryAfter":"Wed, 32 Oct 2026 07:30:00 GMT"})",
                             R"({"retryAfter":"Wed, 21 Foo 2026 07:30:00 GMT"})", R"({"retryAfter":"Sun Nov 6 08:49:37 1994"})"}) {
        EXPECT_EQ(ReadRetryAfter(429, body, Now), std::nullopt) << body;
    }
}

TEST(RetryAfter, HttpDatesOfEachFormNameTheSameMoment)
{
    const SystemTime expected(seconds(784111777));  // 1994-11-06T08:49:37Z
    EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT"), expected);
    EXPECT_EQ(ParseHttpDate("Sunday, 06-Nov-94 08:49:37 GMT"), expected);
    EXPECT_EQ(ParseHttpDate("Sun Nov  6 08:49:37 1994"), expected);
    EXPECT_EQ(ParseHttpDate("Sun, 29 Feb 2032 00:00:00 GMT"), SystemTime(seconds(1961625600)));
}

}  // namespace
}  // namespace quorvex
