#include "trade/TradeLogger.h"

#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "core/PluginEventDispatcher.h"
#include "sim/game/Functions.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

namespace function = sim::game::function;
using sim::game::Attribute;

const std::string Partner = "Epic|0a1b2c|0";

std::uint64_t UnixSeconds(sim::Clock::time_point at)
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(at.time_since_epoch()).count());
}

class TradeLoggerTest : public ::testing::Test {
protected:
    TradeLoggerTest()
    {
        dispatcher->AddEventListener<TradeStart>(EventType::TradeStart,
                                                 [this](const TradeStart& event) { starts.push_back(event.details); });
        dispatcher->AddEventListener<TradeEnd>(EventType::TradeEnd,
                                               [this](const TradeEnd& event) { ends.push_back(event.details); });
    }

    void Open(sim::game::Trade trade) { host->GetWorld().Items().OpenTrade(std::move(trade)); }

    testing::TestHost host;
    std::shared_ptr<PluginEventDispatcher> dispatcher = std::make_shared<PluginEventDispatcher>();
    std::shared_ptr<TradeLogger> logger = TradeLogger::Create(host->Game(), dispatcher);
    std::vector<TradeDetails> starts;
    std::vector<TradeDetails> ends;
};

TEST_F(TradeLoggerTest, NormalTradeStartsWithThePartnerOnlyAndEndsWithBothSides)
{
    sim::game::Trade trade;
    trade.partnerId = Partner;
    trade.sending = {{4284, 7, 0, 1001, 3, "Octane", {Attribute::Painted(2), Attribute::Certified(5, 120)}},
                     {23, 0, 0, 1002, 1, "Fennec", {}}};
    trade.receiving = {{900, 0, 2, 77, 4, "Wheels", {}}};
    trade.sendingCurrency = {{13, 100}, {14, 0}};
    trade.receivingCurrency = {{-1, -5}};
    trade.guid = {0xDEADBEEF, 1, 2, 3};
    Open(trade);

    // A start 0.9999999 s into a second is still that second.
    host->RunFor(sim::Seconds(0.9999999));
    const sim::Clock::time_point startedAt = host->Now();
    host->CallFunction(function::HandleAcceptedInviteToTrade);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].remote.id, Partner);
    EXPECT_TRUE(starts[0].remote.items.empty() && starts[0].remote.currency.empty());
    EXPECT_TRUE(starts[0].local.id.empty() && starts[0].local.items.empty() && starts[0].local.currency.empty());
    EXPECT_EQ(starts[0].tradeGuid, "");
    EXPECT_EQ(starts[0].tradeStart, 0u);

    host->RunFor(sim::Seconds(3));
    host->CallFunction(function::SendTradeToBackEnd);
    EXPECT_TRUE(ends.empty());
    host->RunFor(sim::Seconds(2.5));
    host->CallFunction(function::HandleTradePlayerComplete);

    ASSERT_EQ(ends.size(), 1u);
    const TradeDetails& end = ends[0];
    EXPECT_EQ(end.local.id, host->Options().uniqueId);
    ASSERT_EQ(end.local.items.size(), 2u);
    EXPECT_EQ(end.local.items[0].InstanceID, 1001u);
    EXPECT_EQ(end.local.items[0].Attributes,
              (std::vector<ProductAttribute>{{"Painted", "2"}, {"CertifiedValue", "120"}, {"Certified", "5"}}));
    EXPECT_EQ(end.local.items[1].InstanceID, 1002u);
    ASSERT_EQ(end.local.currency.size(), 2u);
    EXPECT_EQ(end.local.currency[1].currencyId, 14);
    EXPECT_EQ(end.local.currency[1].quantity, 0);
    EXPECT_EQ(end.remote.id, Partner);
    ASSERT_EQ(end.remote.items.size(), 1u);
    EXPECT_EQ(end.remote.items[0].TradeHold, 2);
    ASSERT_EQ(end.remote.currency.size(), 1u);
    EXPECT_EQ(end.remote.currency[0].quantity, -5);
    EXPECT_EQ(end.tradeGuid, "DEADBEEF-00000001-00000002-00000003");
    EXPECT_EQ(end.tradeStart, UnixSeconds(startedAt));
    EXPECT_EQ(end.tradeStart, 1767225600u) << "2026-01-01, the virtual clock's start";
    EXPECT_EQ(end.tradeEnd, end.tradeStart + 6);
    EXPECT_TRUE(host->ConsoleContains("Local product count: 2"));
    EXPECT_TRUE(host->ConsoleContains("Remote product count: 1"));
}

TEST_F(TradeLoggerTest, LobbyFunctionsOutOfOrderPostWhatIsThere)
{
    sim::game::Trade trade;
    trade.partnerId = Partner;
    Open(trade);

    // A snapshot before any start since load.
    host->CallFunction(function::SendTradeToBackEnd);
    host->CallFunction(function::HandleTradePlayerComplete);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].tradeStart, 0u);
    EXPECT_EQ(ends[0].remote.id, Partner);
    EXPECT_TRUE(host->ConsoleContains("Local product count: 0"));
    EXPECT_TRUE(host->ConsoleContains("Remote product count: 0"));

    // A completion without a snapshot since the start.
    host->RunFor(sim::Seconds(5));
    host->CallFunction(function::HandleAcceptedInviteToTrade);
    host->CallFunction(function::HandleTradePlayerComplete);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[1].remote.id, Partner);
    EXPECT_EQ(ends[1].local.id, "");
    EXPECT_EQ(ends[1].tradeStart, 0u);
    EXPECT_EQ(ends[1].tradeEnd, UnixSeconds(host->Now()));
}

TEST_F(TradeLoggerTest, TradeTheHostCannotGiveIsLoggedAtEachMoment)
{
    host->CallFunction(function::HandleAcceptedInviteToTrade);
    EXPECT_TRUE(host->ConsoleContains("Failed to get the trade wrapper!"));
    EXPECT_TRUE(starts.empty());

    sim::game::Trade trade;
    trade.partnerId = Partner;
    Open(trade);
    host->CallFunction(function::HandleAcceptedInviteToTrade);
    ASSERT_EQ(starts.size(), 1u);

    host->GetWorld().SetItemsAvailable(false);
    host->RunFor(sim::Seconds(2));
    host->CallFunction(function::SendTradeToBackEnd);
    EXPECT_TRUE(host->ConsoleContains("Failed to get trade wrapper"));
    host->CallFunction(function::HandleTradePlayerComplete);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].remote.id, "") << "the empty snapshot drops the partner id too";
    EXPECT_EQ(ends[0].tradeStart, 0u);
    EXPECT_EQ(ends[0].tradeEnd, UnixSeconds(host->Now()));
}

TEST_F(TradeLoggerTest, HooksDoNothingOnceTheLoggerIsGone)
{
    sim::game::Trade trade;
    trade.partnerId = Partner;
    Open(trade);
    logger.reset();
    host->CallFunction(function::HandleAcceptedInviteToTrade);
    host->CallFunction(function::HandleTradePlayerComplete);
    EXPECT_TRUE(starts.empty());
    EXPECT_TRUE(ends.empty());
    EXPECT_FALSE(host->ConsoleContains("TradeLogger::OnTradeStart"));
}

}  // namespace
}  // namespace quorvex
