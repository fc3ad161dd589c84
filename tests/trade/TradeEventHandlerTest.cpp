#include "trade/TradeEventHandler.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/FeatureTest.h"

namespace quorvex {
namespace {

const std::string ValidatePath = "/api/v2/system/validateTrader.php";
const std::string TradeLogPath = "/api/v2/trading/logIngameTrade.php";

TradeDetails WithPartner(std::string partner)
{
    TradeDetails details;
    details.remote.id = std::move(partner);
    return details;
}

class TradeEventHandlerTest : public testing::FeatureTest {
protected:
    TradeEventHandlerTest()
    {
        host->RunFor(sim::Seconds(0.1));  // the settings load
        dispatcher->AddEventListener<TradeScammer>(EventType::TradeScammer, [this](const TradeScammer&) {
            scammerThreads.push_back(std::this_thread::get_id());
        });
    }

    void StartTrade(const std::string& partner)
    {
        dispatcher->Dispatch(EventType::TradeStart, TradeStart(WithPartner(partner)));
        host->WaitForHttpIdle();
    }

    void EndTrade(const TradeDetails& details)
    {
        dispatcher->Dispatch(EventType::TradeEnd, TradeEnd(details));
        host->WaitForHttpIdle();
    }

    std::shared_ptr<TradeEventHandler> handler = TradeEventHandler::Create(dispatcher, host->Game(), api, store, std::make_unique<InlineExecutor>());
    std::vector<std::thread::id> scammerThreads;  // game thread only
};

TEST_F(TradeEventHandlerTest, PartnerCheckToastsAndLogsEachKnownAnswer)
{
    struct Case {
        int status;
        std::string text;
        int toastType;
    };
    const Case cases[] = {
        {200, "This player's Skyvolt account is linked to a Quorvex account and has not been banned on Quorvex.", 0},
        {202, "This player's Skyvolt account is not linked to any Quorvex account.", 0},
        {451,
         "You are trading with an account which has been banned from Quorvex for breaking our Terms of Service (not "
         "for scamming).",
         2},
    };
    for (const Case& answer : cases) {
        SCOPED_TRACE(answer.status);
        service.Answer(ValidatePath, answer.status);
        StartTrade("Epic|0a1b2c|0");
        const auto toast = host->Toasts().back();
        EXPECT_EQ(toast.text, answer.text);
        EXPECT_EQ(toast.toastType, answer.toastType);
        EXPECT_FLOAT_EQ(toast.seconds, 15.0f);
        EXPECT_EQ(host->ConsoleLines().back(), answer.text);
    }
    const auto requests = service.RequestsTo(ValidatePath);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].url, api->validateTraderUrl);
    EXPECT_EQ(requests[0].verb, "");
    EXPECT_EQ(requests[0].headers, api->GetHeaders());
    EXPECT_EQ(requests[0].requestBody, R"({"trading_player_id":"Epic|0a1b2c|0"})");
    EXPECT_EQ(host.CountConsoleLines("TradeEventHandler::OnTradeStart"), 3);

    for (const int status : {201, 500}) {
        service.Answer(ValidatePath, status);
        StartTrade("Epic|0a1b2c|0");
        EXPECT_EQ(host->ConsoleLines().back(), "validateTrader returned unknown http code: " + std::to_string(status));
    }
    EXPECT_EQ(host->Toasts().size(), 3u);
    host->RunUntilIdle();
    EXPECT_TRUE(scammerThreads.empty());
}

TEST_F(TradeEventHandlerTest, ScammerAnswerRaisesTheEventOnTheGameThreadAfterTheResponse)
{
    service.Answer(ValidatePath, 423);
    StartTrade("Steam|666|0");

    const std::string text = "You are currently trading with a Skyvolt account which has been banned from Quorvex for scamming.";
    ASSERT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host->Toasts()[0].text, text);
    EXPECT_EQ(host->Toasts()[0].toastType, 3);
    EXPECT_FLOAT_EQ(host->Toasts()[0].seconds, 15.0f);
    const auto lines = host->ConsoleLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], text);
    EXPECT_EQ(lines.back(), "TradeEventHandler::OnScammerDetected");
    EXPECT_TRUE(scammerThreads.empty()) << "not raised from the HTTP thread";

    host->RunUntilIdle();
    ASSERT_EQ(scammerThreads.size(), 1u);
    EXPECT_EQ(scammerThreads[0], std::this_thread::get_id());
}

TEST_F(TradeEventHandlerTest, TradeLogBodyListsEveryMemberInKeyOrder)
{
    TradeDetails trade;
    trade.local.id = "Steam|76561198012345678|0";
    ProductData item;
    item.ID = 4284;
    item.InstanceID = 18446744073709551615ull;
    item.Quality = 255;
    item.Attributes = {{"Painted", "2"}};
    trade.local.items = {item};
    trade.local.currency = {{13, 100}, {14, 0}};
    trade.remote.id = "Epic|0a1b2c|0";
    trade.tradeGuid = "DEADBEEF-00000001-00000002-00000003";
    trade.tradeStart = 1767225600;
    trade.tradeEnd = 1767225606;
    EndTrade(trade);

    const auto requests = service.RequestsTo(TradeLogPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].url, api->logIngameTradeUrl);
    EXPECT_EQ(requests[0].headers, api->GetHeaders());
    EXPECT_EQ(requests[0].requestBody,
              R"({"local_data":{"currency":[{"currency_id":13,"quantity":100},{"currency_id":14,"quantity":0}],)"
              R"("id":"Steam|76561198012345678|0","items":[{"Attributes":[{"Key":"Painted","Value":"2"}],"ID":4284,)"
              R"("InstanceID":18446744073709551615,"Quality":255,"SeriesID":0,"TradeHold":0}]},)"
              R"("remote_data":{"currency":[],"id":"Epic|0a1b2c|0","items":[]},)"
              R"("trade_end":1767225606,"trade_guid":"DEADBEEF-00000001-00000002-00000003","trade_start":1767225600})");
    ASSERT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host->Toasts()[0].text, "Trade logged!");
    EXPECT_EQ(host->Toasts()[0].toastType, 0);
    EXPECT_FLOAT_EQ(host->Toasts()[0].seconds, 3.0f);
    EXPECT_EQ(host->ConsoleLines().back(), "Trade logged!");

    service.Answer(TradeLogPath, 201);
    EndTrade(TradeDetails());
    EXPECT_EQ(service.RequestsTo(TradeLogPath).back().requestBody,
              R"({"local_data":{"currency":[],"id":"","items":[]},"remote_data":{"currency":[],"id":"","items":[]},)"
              R"("trade_end":0,"trade_guid":"","trade_start":0})");
    const auto lines = host->ConsoleLines();
    EXPECT_EQ(lines[lines.size() - 2], "logIngameTrade returned unknown http code: 201");
    EXPECT_EQ(lines.back(), "Trade  dropped: the service refused it (201)");
    EXPECT_EQ(host->Toasts().size(), 1u);
}

TEST_F(TradeEventHandlerTest, EachSwitchOffSendsAndLogsNothingForItsCall)
{
    host->ExecuteConsole("qvx_scamcheck_enable 0");
    StartTrade("Epic|0a1b2c|0");
    EndTrade(WithPartner("Epic|0a1b2c|0"));
    EXPECT_TRUE(service.RequestsTo(ValidatePath).empty());
    EXPECT_FALSE(host->ConsoleContains("TradeEventHandler::OnTradeStart"));
    EXPECT_EQ(service.RequestsTo(TradeLogPath).size(), 1u);

    host->ExecuteConsole("qvx_scamcheck_enable 1");
    host->ExecuteConsole("qvx_tradesync_enable 0");
    StartTrade("Epic|0a1b2c|0");
    EndTrade(WithPartner("Epic|0a1b2c|0"));
    EXPECT_EQ(service.RequestsTo(ValidatePath).size(), 1u);
    EXPECT_EQ(service.RequestsTo(TradeLogPath).size(), 1u);
    EXPECT_EQ(host.CountConsoleLines("TradeEventHandler::OnTradeEnd"), 1);
}

TEST_F(TradeEventHandlerTest, InvalidUtf8IsReplacedAndLoggedOnceInsteadOfEscaping)
{
    StartTrade("Epic|\xff\xfe|0");
    ASSERT_EQ(service.RequestsTo(ValidatePath).size(), 1u);
    EXPECT_EQ(service.RequestsTo(ValidatePath)[0].requestBody,
              "{\"trading_player_id\":\"Epic|\xEF\xBF\xBD\xEF\xBF\xBD|0\"}");
    EXPECT_EQ(host.CountConsoleLines("Invalid UTF-8 in the partner check request replaced with U+FFFD"), 1);

    TradeDetails trade = WithPartner("Epic|ok|0");
    trade.tradeGuid = "\xc3";
    ProductData item;
    item.Attributes = {{"Title", "\x80"}};
    trade.local.items = {item};
    EndTrade(trade);
    ASSERT_EQ(service.RequestsTo(TradeLogPath).size(), 1u);
    EXPECT_EQ(host.CountConsoleLines("Invalid UTF-8 in the trade log request replaced with U+FFFD"), 1);
}

TEST_F(TradeEventHandlerTest, AnswersAfterTheHandlerIsGoneDoNothing)
{
    service.Answer(ValidatePath, 423);
    service.Hold();
    dispatcher->Dispatch(EventType::TradeStart, TradeStart(WithPartner("Steam|666|0")));
    handler.reset();
    service.Release();
    host->WaitForHttpIdle();
    host->RunUntilIdle();
    EXPECT_TRUE(host->Toasts().empty());
    EXPECT_FALSE(host->ConsoleContains("TradeEventHandler::OnScammerDetected"));
    EXPECT_TRUE(scammerThreads.empty());
}

TEST_F(TradeEventHandlerTest, ScammerTaskAfterTheHandlerIsGoneDoesNothing)
{
    service.Answer(ValidatePath, 423);
    StartTrade("Steam|666|0");
    handler.reset();
    host->RunUntilIdle();
    EXPECT_TRUE(scammerThreads.empty());
}

}  // namespace
}  // namespace quorvex
