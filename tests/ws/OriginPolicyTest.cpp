#include "ws/OriginPolicy.h"

#include <gtest/gtest.h>

namespace quorvex {
namespace {

TEST(OriginPolicy, AcceptsTheSiteAndLoopbackPagesOnAnyPort)
{
    for (const char* origin :
         {"https://quorvex.com", "https://www.quorvex.com", "http://localhost", "http://127.0.0.1",
          "http://[::1]", "http://localhost:3000", "http://127.0.0.1:1", "http://[::1]:65535"}) {
        EXPECT_TRUE(IsAllowedOrigin(origin)) << origin;
    }
}

TEST(OriginPolicy, RefusesLookAlikesOtherSchemesAndMalformedPorts)
{
    for (const char* origin :
         {"", "null", "https://evil.example", "http://localhost.evil.com",
          "http://127.0.0.1.evil.com", "http://[::1].evil.com", "http://localhost@evil.com",
          "https://quorvex.com.evil.com", "https://evilquorvex.com", "http://quorvex.com",
          "https://quorvex.com:8443", "https://localhost", "ws://localhost", "http://localhost/",
          "http://localhost:", "http://localhost:0", "http://localhost:65536",
          "http://localhost:123456", "http://localhost:80a", "http://localhost:-1",
          "HTTP://localhost", "http://127.0.0.2", "http://localhost:3000/path"}) {
        EXPECT_FALSE(IsAllowedOrigin(origin)) << origin;
    }
}

}  // namespace
}  // namespace quorvex
