// The wait a 429 or 503 answer asks for, in both forms of a Retry-After.
#include "api/RetryAfter.h"

#include <chrono>
#include <optional>

#include <gtest/gtest.h>

namespace quorvex {
namespace {

using std::chrono::seconds;

// 2026-10-21T07:28:00Z
const SystemTime Now{seconds{1792567680}};

std::optional<seconds> Asked(const std::string& body, int status = 429)
{
    return ReadRetryAfter(status, body, Now);
}

TEST(RetryAfter, SecondsOrAnHttpDateIn429Or503AreReadAndHeldWithinOneSecondAndTenMinutes)
{
    EXPECT_EQ(Asked(R"({"retryAfter":120})"), seconds(120));
    EXPECT_EQ(Asked(R"({"retryAfter":"45","message":"slow down"})", 503), seconds(45));
    EXPECT_EQ(Asked(R"({"retryAfter":3600})"), seconds(600));
    EXPECT_EQ(Asked(R"({"retryAfter":"99999999999999999999"})"), seconds(600));
    EXPECT_EQ(Asked(R"({"retryAfter":0})"), seconds(1));
    EXPECT_EQ(Asked(R"({"retryAfter":"Wed, 21 Oct 2026 07:30:00 GMT"})"), seconds(120));
    EXPECT_EQ(Asked(R"({"retryAfter":"Wednesday, 21-Oct-26 07:29:30 GMT"})", 503), seconds(90));
    EXPECT_EQ(Asked(R"({"retryAfter":"Wed Oct 21 07:28:10 2026"})"), seconds(10));
    EXPECT_EQ(Asked(R"({"retryAfter":"Thu, 22 Oct 2026 07:28:00 GMT"})"), seconds(600));
    EXPECT_EQ(Asked(R"({"retryAfter":"Wed, 21 Oct 2026 07:00:00 GMT"})"), seconds(1)) << "a date gone by";
}

TEST(RetryAfter, OtherStatusesAndUnusableValuesAskForNothing)
{
    EXPECT_EQ(ReadRetryAfter(500, R"({"retryAfter":120})", Now), std::nullopt);
    EXPECT_EQ(ReadRetryAfter(200, R"({"retryAfter":120})", Now), std::nullopt);
    for (const char* body : {"", "<html>busy</html>", "[120]", R"({"message":"busy"})", R"({"retryAfter":-5})",
                             R"({"retryAfter":1.5})", R"({"retryAfter":"soon"})", R"({"retryAfter":"12 s"})",
                             R"({"retryAfter":"Wed, 21 Oct 2026 07:30:00 CET"})", R"({"retryAfter":"Wed, 32 Oct 2026 07:30:00 GMT"})",
                             R"({"retryAfter":"Wed, 21 Foo 2026 07:30:00 GMT"})", R"({"retryAfter":null})"}) {
        EXPECT_EQ(Asked(body), std::nullopt) << body;
    }
}

TEST(RetryAfter, HttpDatesOfEachFormNameTheSameMoment)
{
    const auto expected = SystemTime(seconds(784111777));  // 1994-11-06T08:49:37Z
    EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT"), expected);
    EXPECT_EQ(ParseHttpDate("Sunday, 06-Nov-94 08:49:37 GMT"), expected);
    EXPECT_EQ(ParseHttpDate("Sun Nov  6 08:49:37 1994"), expected);
    EXPECT_EQ(ParseHttpDate("Sun, 29 Feb 2032 00:00:00 GMT"), SystemTime(seconds(1961625600)));
    EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT "), std::nullopt);
    EXPECT_EQ(ParseHttpDate("Sun Nov 6 08:49:37 1994"), std::nullopt);
}

}  // namespace
}  // namespace quorvex
