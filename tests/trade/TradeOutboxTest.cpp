#include "trade/TradeOutbox.h"

#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/FeatureTest.h"
#include "tests/support/HeldFileCalls.h"
#include "trade/TradeEventHandler.h"

namespace quorvex {
namespace {

const std::string TradeLogPath = "/api/v2/trading/logIngameTrade.php";

TradeDetails Trade(const std::string& guid)
{
    TradeDetails details;
    details.remote.id = "Epic|0a1b2c|0";
    details.tradeGuid = guid;
    details.tradeStart = 1767225600;
    details.tradeEnd = 1767225606;
    return details;
}

class TradeOutboxDeliveryTest : public testing::FeatureTest {
protected:
    TradeOutboxDeliveryTest() { host->RunFor(sim::Seconds(0.1)); }

    void Create()
    {
        handler = TradeEventHandler::Create(dispatcher, host->Game(), api, store, std::make_unique<InlineExecutor>());
        Settle();
    }

    void EndTrade(const std::string& guid)
    {
        dispatcher->Dispatch(EventType::TradeEnd, TradeEnd(Trade(guid)));
        Settle();
    }

    // Runs the game thread and waits for the answers, until neither has anything left to do.
    void Settle(double seconds = 0)
    {
        host->RunFor(sim::Seconds(seconds));
        for (std::size_t sent = 0; sent != host->HttpExchanges().size();) {
            sent = host->HttpExchanges().size();
            host->WaitForHttpIdle();
            host->RunUntilIdle();
        }
    }

    // The trade guids of the requests sent so far, in send order.
    std::vector<std::string> SentGuids()
    {
        std::vector<std::string> guids;
        for (const auto& request : service.RequestsTo(TradeLogPath)) {
            guids.push_back(nlohmann::json::parse(request.requestBody).at("trade_guid"));
        }
        return guids;
    }

    std::vector<std::string> KeptGuids()
    {
        std::vector<std::string> guids;
        const auto document = nlohmann::json::parse(testing::ReadFile(handler->Outbox().File()));
        for (const auto& trade : document.at("trades")) {
            guids.push_back(trade.at("trade_guid"));
        }
        return guids;
    }

    int CountToasts(const std::string& text)
    {
        int count = 0;
        for (const auto& toast : host->Toasts()) {
            count += toast.text == text ? 1 : 0;
        }
        return count;
    }

    std::shared_ptr<TradeEventHandler> handler;
};

TEST_F(TradeOutboxDeliveryTest, ATradeLogThatFailedIsKeptAndSentAgainWithGrowingWaitsUntilTaken)
{
    Create();
    service.Answer(TradeLogPath, 503);
    EndTrade("0123456789abcdef");
    EXPECT_TRUE(host->ConsoleContains("logIngameTrade returned unknown http code: 503"));
    EXPECT_TRUE(host->ConsoleContains("Trade 01234567\xE2\x80\xA6 kept to send again"));
    EXPECT_TRUE(host->ConsoleContains("Retrying the trade log in 30 s"));
    EXPECT_EQ(KeptGuids(), std::vector<std::string>{"0123456789abcdef"});

    service.Answer(TradeLogPath, 0, "");
    Settle(29.9);
    EXPECT_EQ(SentGuids().size(), 1u);
    Settle(0.1);
    EXPECT_EQ(SentGuids().size(), 2u);
    EXPECT_TRUE(host->ConsoleContains("Sending trade 01234567\xE2\x80\xA6 again"));
    EXPECT_TRUE(host->ConsoleContains("Retrying the trade log in 60 s"));
    service.Answer(TradeLogPath, 429);
    Settle(60);
    EXPECT_TRUE(host->ConsoleContains("Retrying the trade log in 120 s"));

    service.Answer(TradeLogPath, 200);
    Settle(120);
    ASSERT_EQ(SentGuids().size(), 4u);
    EXPECT_EQ(CountToasts("Trade logged!"), 1);
    EXPECT_TRUE(KeptGuids().empty());
    Settle(1200);
    EXPECT_EQ(SentGuids().size(), 4u);

    // A 200 started the waits over.
    service.Answer(TradeLogPath, 408);
    EndTrade("second");
    EXPECT_EQ(host.CountConsoleLines("Retrying the trade log in 30 s"), 2);
}


#ifdef _WIN32
// The outbox's file held open by another program when a trade is kept: the write is tried again
// on a timer and lands once the file is free, without a failure line.
TEST_F(TradeOutboxDeliveryTest, AnOutboxFileHeldOpenIsWrittenOnceReleased)
{
    Create();
    service.Answer(TradeLogPath, 503);
    EndTrade("first");
    auto held = std::make_unique<testing::HeldOpen>(handler->Outbox().File());
    EndTrade("second");
    Settle(0.3);
    EXPECT_EQ(testing::ReadFile(handler->Outbox().File()).find("second"), std::string::npos);
    held.reset();
    Settle(1);
    EXPECT_NE(testing::ReadFile(handler->Outbox().File()).find("second"), std::string::npos);
    EXPECT_EQ(host.CountConsoleLines("Could not write the trade outbox"), 0);
}
#endif

TEST_F(TradeOutboxDeliveryTest, TheWaitA429Or503AsksForReplacesTheRetryWait)
{
    Create();
    service.Answer(TradeLogPath, 429, R"({"retryAfter":"200"})");
    EndTrade("0123456789abcdef");
    EXPECT_TRUE(host->ConsoleContains("The service asked to wait 200 s before the next trade log"));
    service.Answer(TradeLogPath, 503, R"({"retryAfter":86400})");
    Settle(199.9);
    EXPECT_EQ(SentGuids().size(), 1u);
    Settle(0.1);
    EXPECT_EQ(SentGuids().size(), 2u);
    EXPECT_TRUE(host->ConsoleContains("Retrying the trade log in 600 s"));
    Settle(600);
    EXPECT_EQ(SentGuids().size(), 3u);
}
TEST_F(TradeOutboxDeliveryTest, KeptTradesAreSentAtTheNextLoadOldestFirstAndAfterAnyTaken)
{
    Create();
    service.Answer(TradeLogPath, 500);
    EndTrade("first");
    EndTrade("second");
    handler.reset();  // the player quits with both kept

    service.Answer(TradeLogPath, 200);
    Create();
    EXPECT_TRUE(host->ConsoleContains("Trade outbox holds 2 trades to send again"));
    EXPECT_EQ(SentGuids(), (std::vector<std::string>{"first", "second", "first", "second"}));
    EXPECT_EQ(CountToasts("Trade logged!"), 2);
    EXPECT_TRUE(KeptGuids().empty());

    // Kept while the service was away, sent as soon as another trade is taken.
    service.Answer(TradeLogPath, 502);
    EndTrade("third");
    service.Answer(TradeLogPath, 200);
    EndTrade("fourth");
    EXPECT_EQ(SentGuids().back(), "third");
    EXPECT_TRUE(KeptGuids().empty());
    Settle(600);
    EXPECT_EQ(SentGuids().size(), 7u);
}

TEST_F(TradeOutboxDeliveryTest, ATradeRefusedForGoodIsDroppedAndTheNextKeptOneGoes)
{
    Create();
    service.Answer(TradeLogPath, 503);
    EndTrade("first");
    EndTrade("second");
    for (const int status : {400, 404, 413, 422}) {
        SCOPED_TRACE(status);
        service.Answer(TradeLogPath, status);
        EndTrade("refused");
        EXPECT_EQ(host->ConsoleLines().back(), "Trade refused dropped: the service refused it (" + std::to_string(status) + ")");
    }
    EXPECT_EQ(KeptGuids(), (std::vector<std::string>{"first", "second"}));

    service.Answer(TradeLogPath, 422);
    Settle(30);
    EXPECT_EQ(host.CountConsoleLines("Trade first dropped: the service refused it (422)"), 1);
    EXPECT_EQ(host.CountConsoleLines("Trade second dropped: the service refused it (422)"), 1);
    EXPECT_TRUE(KeptGuids().empty());
    EXPECT_EQ(CountToasts("Trade logged!"), 0);
}

TEST_F(TradeOutboxDeliveryTest, AnOutboxFileThatCannotBeReadIsMovedAsideNotOverwritten)
{
    const TradeOutbox outbox(host->Game()->GetDataFolder());
    std::filesystem::create_directories(outbox.File().parent_path());
    std::ofstream(outbox.File()) << "{\"trades\": [ half";
    Create();
    EXPECT_EQ(host.CountConsoleLines("Trade outbox " + outbox.File().string() + " cannot be read ("), 1);
    EXPECT_EQ(testing::ReadFile(outbox.File().string() + ".unreadable"), "{\"trades\": [ half");
    EndTrade("next");
    EXPECT_TRUE(KeptGuids().empty());
    EXPECT_EQ(SentGuids(), std::vector<std::string>{"next"});
}

TEST(TradeOutboxTest, KeepsAtMostItsBoundsDroppingTheOldestWithALine)
{
    testing::TestHost host;
    TradeOutbox outbox(host->Game()->GetDataFolder());
    for (std::size_t index = 0; index <= TradeOutbox::MaxRecords; ++index) {
        outbox.Add("{}", "trade" + std::to_string(index));
    }
    EXPECT_EQ(outbox.Size(), TradeOutbox::MaxRecords);
    EXPECT_EQ(host.CountConsoleLines("Trade trade0 dropped: the trade outbox is full"), 1);

    const std::string big = "{\"p\":\"" + std::string(TradeOutbox::MaxBytes / 2, 'x') + "\"}";
    outbox.Add(big, "big1");
    outbox.Add(big, "big2");
    EXPECT_TRUE(host->ConsoleContains("Trade big1 dropped: the trade outbox is full"));
    EXPECT_EQ(outbox.Add(std::string(TradeOutbox::MaxBytes + 1, 'x'), "huge"), 0u);
    EXPECT_TRUE(host->ConsoleContains("Trade huge dropped: its record of 16777217 bytes is larger than the trade outbox"));

    ASSERT_EQ(outbox.Save().failure, "");
    TradeOutbox reread(host->Game()->GetDataFolder());
    EXPECT_EQ(reread.Load(), outbox.Size());
}

TEST(TradeOutboxTest, TakesEachRecordOnceUntilItsSendSettles)
{
    testing::TestHost host;
    TradeOutbox outbox(host->Game()->GetDataFolder());
    const auto first = outbox.Add("{\"n\":1}", "a");
    outbox.Add("{\"n\":2}", "b");
    EXPECT_FALSE(outbox.TakeOldest()) << "both are on their way";
    outbox.Settle(first);
    ASSERT_TRUE(outbox.TakeOldest());
    EXPECT_FALSE(outbox.TakeOldest());
    EXPECT_TRUE(outbox.Remove(first));
    EXPECT_FALSE(outbox.Remove(first));
    EXPECT_EQ(outbox.Size(), 1u);
}

}  // namespace
}  // namespace quorvex
