#include "trade/TradeLogger.h"

#include <chrono>
#include <ratio>
#include <utility>

#include "core/Clock.h"
#include "core/Log.h"
#include "core/PluginEventDispatcher.h"
#include "core/WeakCallback.h"
#include "trade/Texts.h"

namespace quorvex {
namespace {

using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;

constexpr std::int64_t TicksPerSecond = Ticks::period::den;

std::int64_t NowTicks()
{
    return std::chrono::duration_cast<Ticks>(Clock::Now().time_since_epoch()).count();
}

std::uint64_t UnixSeconds(std::int64_t ticks)
{
    return static_cast<std::uint64_t>(ticks / TicksPerSecond);
}

}  // namespace

std::shared_ptr<TradeLogger> TradeLogger::Create(std::shared_ptr<GameWrapper> gameWrapper,
                                                 std::shared_ptr<PluginEventDispatcher> dispatcher)
{
    auto logger = std::make_shared<TradeLogger>(CreateKey{}, std::move(gameWrapper), std::move(dispatcher));
    logger->HookTradeStart();
    logger->HookTradeFinish();
    return logger;
}

TradeLogger::TradeLogger(CreateKey, std::shared_ptr<GameWrapper> gameWrapper,
                         std::shared_ptr<PluginEventDispatcher> dispatcher)
    : gameWrapper_(std::move(gameWrapper)), dispatcher_(std::move(dispatcher))
{
}

void TradeLogger::HookTradeStart()
{
    LogText(texts::trade::HookTradeStartLine);
    gameWrapper_->HookEventPost(TradeAcceptedHook,
                                WeakCallback(weak_from_this(), "TradeLogger::OnTradeStart", [](TradeLogger& self, auto&&) {
                                    self.details_ = TradeDetails();
                                    self.OnTradeStart();
                                }));
}

void TradeLogger::HookTradeFinish()
{
    LogText(texts::trade::HookTradeFinishLine);
    gameWrapper_->HookEvent(TradeSentHook,
                            WeakCallback(weak_from_this(), "TradeLogger::GetTradeDetails",
                                         [](TradeLogger& self, auto&&) { self.details_ = self.GetTradeDetails(); }));
    gameWrapper_->HookEvent(TradeCompletedHook, WeakCallback(weak_from_this(), "TradeLogger::OnTradeFinish",
                                                             [](TradeLogger& self, auto&&) { self.OnTradeFinish(); }));
}

TradeWrapper TradeLogger::GetTrade() const
{
    const ItemsWrapper items = gameWrapper_->GetItemsWrapper();
    return items ? items.GetTradeWrapper() : TradeWrapper(0);
}

void TradeLogger::OnTradeStart()
{
    LogText(texts::trade::OnTradeStartLine);
    tradeStartTicks_ = NowTicks();
    const TradeWrapper trade = GetTrade();
    if (!trade) {
        LogText(texts::trade::NoTradeWrapperAtStartLine);
        return;
    }
    details_.remote.id = trade.GetTradingPlayer().GetIdString();
    dispatcher_->Dispatch(EventType::TradeStart, TradeStart(details_));
}

TradeDetails TradeLogger::GetTradeDetails() const
{
    LogText(texts::trade::GetTradeDetailsLine);
    TradeDetails details;
    const TradeWrapper trade = GetTrade();
    if (!trade) {
        LogText(texts::trade::NoTradeWrapperLine);
        return details;
    }
    const ArrayWrapper<OnlineProductWrapper> sending = trade.GetSendingProducts();
    Log(texts::trade::LocalProductCountLine, sending.Count());
    details.local.items = MakeProductList(sending, *gameWrapper_);
    details.local.id = gameWrapper_->GetUniqueID().GetIdString();
    details.local.currency = trade.GetSendingCurrency();

    const ArrayWrapper<OnlineProductWrapper> receiving = trade.GetReceivingProducts();
    Log(texts::trade::RemoteProductCountLine, receiving.Count());
    details.remote.items = MakeProductList(receiving, *gameWrapper_);
    details.remote.id = trade.GetTradingPlayer().GetIdString();
    details.remote.currency = trade.GetReceivingCurrency();

    details.tradeGuid = trade.GetTradeGuid().ToString(GUIDWrapper::EGuidFormats::UniqueObjectGuid);
    details.tradeStart = UnixSeconds(tradeStartTicks_);
    return details;
}

void TradeLogger::OnTradeFinish()
{
    LogText(texts::trade::OnTradeFinishLine);
    tradeEndTicks_ = NowTicks();
    details_.tradeEnd = UnixSeconds(tradeEndTicks_);
    dispatcher_->Dispatch(EventType::TradeEnd, TradeEnd(details_));
}

}  // namespace quorvex
