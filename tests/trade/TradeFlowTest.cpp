// A whole trade through the loaded plug-in: the lobby functions, the partner check, the scammer
// dialog and the trade log.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "plugin/Quorvex.h"
#include "sim/game/Functions.h"
#include "tests/support/ScriptedService.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

namespace function = sim::game::function;

TEST(TradeFlowTest, ScammerPartnerGetsTheToastThenTheDialogAndTheTradeIsLogged)
{
    testing::TestHost host;
    testing::ScriptedService service(host.host());
    service.Answer("/api/v2/system/validateTrader.php", 423);
    auto plugin = std::make_shared<Quorvex>(0);  // any free port for the linking server
    plugin->cvarManager = host->CvarManager();
    plugin->gameWrapper = host->Game();
    plugin->onLoad();
    host->RunFor(sim::Seconds(0.1));

    sim::game::Trade trade;
    trade.partnerId = "Steam|666|0";
    trade.receiving = {{4284, 0, 0, 1001, 3, "Octane", {}}};
    trade.guid = {1, 2, 3, 4};
    host->GetWorld().Items().OpenTrade(trade);
    host->CallFunction(function::HandleAcceptedInviteToTrade);
    host->WaitForHttpIdle();
    ASSERT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host->Toasts()[0].toastType, 3);
    EXPECT_TRUE(host->Modals().empty()) << "the dialog waits for the game thread";

    host->RunUntilIdle();
    ASSERT_EQ(host->Modals().size(), 1u);
    EXPECT_EQ(host->Modals()[0].title, "Scammer detected");

    host->RunFor(sim::Seconds(30));
    host->CallFunction(function::SendTradeToBackEnd);
    host->CallFunction(function::HandleTradePlayerComplete);
    host->WaitForHttpIdle();
    const auto logged = service.RequestsTo("/api/v2/trading/logIngameTrade.php");
    ASSERT_EQ(logged.size(), 1u);
    const auto body = nlohmann::json::parse(logged[0].requestBody);
    EXPECT_EQ(body["remote_data"]["id"], "Steam|666|0");
    EXPECT_EQ(body["remote_data"]["items"][0]["InstanceID"], 1001u);
    EXPECT_EQ(body["trade_guid"], "00000001-00000002-00000003-00000004");
    EXPECT_EQ(body["trade_end"].get<std::uint64_t>() - body["trade_start"].get<std::uint64_t>(), 30u);
    EXPECT_EQ(host->Toasts().back().text, "Trade logged!");
}

}  // namespace
}  // namespace quorvex
