#include "trade/TradeEventHandler.h"

#include <utility>

#include <nlohmann/json.hpp>

#include "api/QvxApi.h"
#include "core/Log.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/WeakCallback.h"
#include "host/HttpWrapper.h"

namespace quorvex {
namespace {

// What the player is told about the partner, by the partner check's status.
struct PartnerVerdict {
    int status;
    const char* text;
    int toastType;
};

constexpr PartnerVerdict PartnerVerdicts[] = {
    {200, "This player's Skyvolt account is linked to a Quorvex account and has not been banned on Quorvex.", 0},
    {202, "This player's Skyvolt account is not linked to any Quorvex account.", 0},
    {423, "You are currently trading with a Skyvolt account which has been banned from Quorvex for scamming.", 3},
    {451,
     "You are trading with an account which has been banned from Quorvex for breaking our Terms of Service (not for "
     "scamming).",
     2},
};
constexpr int ScammerStatus = 423;
constexpr float VerdictSeconds = 15.0f;

nlohmann::json SideJson(const TradeSide& side)
{
    nlohmann::json currency = nlohmann::json::array();
    for (const TradeWrapper::Currency& amount : side.currency) {
        currency.push_back(nlohmann::json{{"currency_id", amount.currencyId}, {"quantity", amount.quantity}});
    }
    return {{"id", side.id}, {"items", side.items}, {"currency", std::move(currency)}};
}

nlohmann::json TradeLogJson(const TradeDetails& trade)
{
    return {
        {"local_data", SideJson(trade.local)},
        {"remote_data", SideJson(trade.remote)},
        {"trade_guid", trade.tradeGuid},
        {"trade_start", trade.tradeStart},
        {"trade_end", trade.tradeEnd},
    };
}

// Registers the switch (default "1") through the store and binds the flag to it.
void RegisterSwitch(PersistentStorage& storage, const char* name, const char* description,
                    const std::shared_ptr<std::atomic<bool>>& flag)
{
    CVarWrapper cvar = storage.RegisterPersistentCvar(name, "1", description, true, 0, 0);
    if (cvar) {
        cvar.bindTo(flag);
    }
}

}  // namespace

std::shared_ptr<TradeEventHandler> TradeEventHandler::Create(std::shared_ptr<PluginEventDispatcher> dispatcher,
                                                             std::shared_ptr<GameWrapper> gameWrapper,
                                                             std::shared_ptr<QvxApi> api,
                                                             std::shared_ptr<PersistentStorage> storage)
{
    auto handler = std::make_shared<TradeEventHandler>(CreateKey{}, std::move(dispatcher), std::move(gameWrapper),
                                                       std::move(api), std::move(storage));
    const std::weak_ptr<TradeEventHandler> weak = handler;
    RegisterSwitch(*handler->storage_, ScamCheckCvar, "If Scam check should be enbled", handler->scamCheckEnabled_);
    RegisterSwitch(*handler->storage_, TradeSyncCvar, "If trade sync should be enbled", handler->tradeSyncEnabled_);
    // The dispatch is the trade capture's hook: nothing may escape into it.
    handler->dispatcher_->AddEventListener<TradeStart>(
        EventType::TradeStart, WeakCallback(weak, "TradeEventHandler::OnTradeStart",
                                            [](TradeEventHandler& self, const TradeStart& event) { self.OnTradeStart(event); }));
    handler->dispatcher_->AddEventListener<TradeEnd>(
        EventType::TradeEnd, WeakCallback(weak, "TradeEventHandler::OnTradeEnd",
                                          [](TradeEventHandler& self, const TradeEnd& event) { self.OnTradeEnd(event); }));
    return handler;
}

TradeEventHandler::TradeEventHandler(CreateKey, std::shared_ptr<PluginEventDispatcher> dispatcher,
                                     std::shared_ptr<GameWrapper> gameWrapper, std::shared_ptr<QvxApi> api,
                                     std::shared_ptr<PersistentStorage> storage)
    : dispatcher_(std::move(dispatcher)),
      gameWrapper_(std::move(gameWrapper)),
      api_(std::move(api)),
      storage_(std::move(storage)),
      tradeSyncEnabled_(std::make_shared<std::atomic<bool>>(true)),
      scamCheckEnabled_(std::make_shared<std::atomic<bool>>(true))
{
}

void TradeEventHandler::OnTradeStart(const TradeStart& event) const
{
    if (!*scamCheckEnabled_) {
        return;
    }
    LogText("TradeEventHandler::OnTradeStart");
    const nlohmann::json body = {{"trading_player_id", event.details.remote.id}};
    Send(api_->validateTraderUrl, DumpJson(body, -1, "the partner check request"),
         &TradeEventHandler::HandleValidateTraderResponse, "TradeEventHandler::HandleValidateTraderResponse");
}

void TradeEventHandler::OnTradeEnd(const TradeEnd& event) const
{
    if (!*tradeSyncEnabled_) {
        return;
    }
    LogText("TradeEventHandler::OnTradeEnd");
    Send(api_->logIngameTradeUrl, DumpJson(TradeLogJson(event.details), -1, "the trade log request"),
         &TradeEventHandler::HandleTradeLogResponse, "TradeEventHandler::HandleTradeLogResponse");
}

void TradeEventHandler::Send(const std::string& url, const std::string& body,
                             void (TradeEventHandler::*handle)(int) const, const char* where) const
{
    // Neither answer's body is read.
    HttpWrapper::SendCurlJsonRequest(
        api_->BuildRequest(url, body),
        WeakCallback(weak_from_this(), where,
                     [handle](const TradeEventHandler& self, int status, auto&&) { (self.*handle)(status); }));
}

void TradeEventHandler::HandleValidateTraderResponse(int status) const
{
    for (const PartnerVerdict& verdict : PartnerVerdicts) {
        if (verdict.status != status) {
            continue;
        }
        ShowToast(verdict.text, verdict.toastType, VerdictSeconds);
        LogText(verdict.text);
        if (status == ScammerStatus) {
            OnScammerDetected();
        }
        return;
    }
    Log("validateTrader returned unknown http code: {}", status);
}

void TradeEventHandler::HandleTradeLogResponse(int status) const
{
    if (status != 200) {
        Log("logIngameTrade returned unknown http code: {}", status);
        return;
    }
    ShowToast("Trade logged!", 0, 3.0f);
    LogText("Trade logged!");
}

void TradeEventHandler::OnScammerDetected() const
{
    LogText("TradeEventHandler::OnScammerDetected");
    // Its listener opens a dialog, which only the game thread may do.
    gameWrapper_->Execute(WeakCallback(weak_from_this(), "TradeEventHandler::OnScammerDetected",
                                       [](const TradeEventHandler& self, GameWrapper*) {
                                           self.dispatcher_->Dispatch(EventType::TradeScammer, TradeScammer());
                                       }));
}

void TradeEventHandler::ShowToast(const std::string& text, int toastType, float seconds) const
{
    dispatcher_->Dispatch(EventType::Toast, ToastEvent(text, toastType, seconds));
}

}  // namespace quorvex
