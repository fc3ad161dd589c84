#include "api/QvxApi.h"

#include <gtest/gtest.h>

#include "core/PersistentStorage.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

using Headers = QvxApi::Headers;

struct HeadersCase {
    std::string idString;
    Headers expectedIdHeaders;
};

class QvxApiHeadersTest : public ::testing::TestWithParam<HeadersCase> {};

TEST_P(QvxApiHeadersTest, IdHeadersFollowTheFieldsOfThePlayersIdString)
{
    testing::TestHost host(GetParam().idString);
    auto store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true);
    QvxApi api(host->Game(), store);
    host->ExecuteConsole("hidden_qvx_user_code code42");

    Headers expected{
        {"x-qvx-key", "3f9d1c7a2b8e4f60d5a1c9b7e2f4083a6d1b5c97"},
        {"x-qvx-user-code", "code42"},
        {"x-qvx-version", "1.0.1+225"},
    };
    expected.insert(GetParam().expectedIdHeaders.begin(), GetParam().expectedIdHeaders.end());
    EXPECT_EQ(api.GetHeaders(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    IdStrings, QvxApiHeadersTest,
    ::testing::Values(HeadersCase{"Steam", {}},
                      HeadersCase{"|", {{"x-qvx-user-platform", ""}, {"x-qvx-user-id", ""}}},
                      HeadersCase{"Epic|abc", {{"x-qvx-user-platform", "Epic"}, {"x-qvx-user-id", "abc"}}},
                      HeadersCase{"Steam|7656|0", {{"x-qvx-user-platform", "Steam"}, {"x-qvx-user-id", "7656"}}},
                      HeadersCase{"PS4||0|x", {{"x-qvx-user-platform", "PS4"}, {"x-qvx-user-id", ""}}}));

class QvxApiTest : public ::testing::Test {
protected:
    testing::TestHost host;
    std::shared_ptr<PersistentStorage> store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true);
    QvxApi api{host->Game(), store};
};

TEST_F(QvxApiTest, UserCodeFollowsItsCvarAndIsSentEvenWhenEmpty)
{
    EXPECT_TRUE(api.userCode->IsEmpty());
    EXPECT_EQ(api.GetHeaders().at("x-qvx-user-code"), "");

    host->ExecuteConsole("hidden_qvx_user_code \"abc\"");
    EXPECT_EQ(api.userCode->Get(), "abc");
    EXPECT_TRUE(host->ConsoleContains("new user code set:  -> abc"));

    host->RunFor(sim::Seconds(0.1));
    host->ExecuteConsole("writeconfig");
    EXPECT_NE(testing::ReadFile(host.cfgFile()).find("hidden_qvx_user_code \"abc\" //User code for QVX\n"),
              std::string::npos);
}

TEST_F(QvxApiTest, EndpointsAndRequests)
{
    EXPECT_EQ(api.smartSyncUrl, "https://api.quorvex.com/api/v2/inventory/smartSync.php");
    EXPECT_EQ(api.toggleSyncUrl, "https://api.quorvex.com/api/v2/inventory/toggleSync.php?status={}");
    EXPECT_EQ(api.loadoutUrl, "https://api.quorvex.com/api/v2/inventory/loadout.php");
    EXPECT_EQ(api.statsUrl, "https://api.quorvex.com/api/v2/stats/ingame.php");
    EXPECT_EQ(api.validateTraderUrl, "https://api.quorvex.com/api/v2/system/validateTrader.php");
    EXPECT_EQ(api.logIngameTradeUrl, "https://api.quorvex.com/api/v2/trading/logIngameTrade.php");

    const CurlRequest request = api.BuildRequest(api.loadoutUrl, "{}");
    EXPECT_EQ(request.url, api.loadoutUrl);
    EXPECT_EQ(request.verb, "");
    EXPECT_EQ(request.body, "{}");
    EXPECT_EQ(request.headers, api.GetHeaders());
}

struct MessageCase {
    std::string body;
    std::string expected;
    std::string logged;  // empty: nothing may be logged
};

class ResponseMessageTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ResponseMessageTest, ReadsTheMessageOrGivesEmptyWithoutThrowing)
{
    testing::TestHost host;
    const auto linesBefore = host->ConsoleLines().size();

    EXPECT_EQ(QvxApi::GetResponseMessageOrEmpty(GetParam().body), GetParam().expected);

    const auto lines = host->ConsoleLines();
    if (GetParam().logged.empty()) {
        EXPECT_EQ(lines.size(), linesBefore);
    } else {
        ASSERT_EQ(lines.size(), linesBefore + 1);
        EXPECT_EQ(lines.back().rfind(GetParam().logged, 0), 0u) << lines.back();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ResponseMessageTest,
    ::testing::Values(MessageCase{R"({"message":"Your key {0} is old"})", "Your key {0} is old", ""},
                      MessageCase{R"({"other":1})", "", ""}, MessageCase{"[1,2]", "", ""},
                      MessageCase{R"("message")", "", ""},
                      MessageCase{R"({"message":5})", "", "Exception thrown while parsing respose message: "},
                      MessageCase{"", "", "Invalid Json in response: "},
                      MessageCase{"<html>", "", "Invalid Json in response: "}));

}  // namespace
}  // namespace quorvex
