#include "trade/TradeEventHandler.h"

#include <chrono>
#include <optional>
#include <utility>

#include <nlohmann/json.hpp>

#include "api/QvxApi.h"
#include "api/RetryAfter.h"
#include "core/CvarBinding.h"
#include "core/Log.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/WeakCallback.h"
#include "inventory/ProductData.h"
#include "host/HttpWrapper.h"
#include "trade/Texts.h"

namespace quorvex {
namespace {

// What the player is told about the partner, by the partner check's status.
struct PartnerVerdict {
    int status;
    const char* text;
    int toastType;
};

constexpr PartnerVerdict PartnerVerdicts[] = {
    {200, texts::trade::PartnerNotBannedToast, 0},
    {202, texts::trade::PartnerNotLinkedToast, 0},
    {423, texts::trade::PartnerScammerToast, 3},
    {451, texts::trade::PartnerBannedToast, 2},
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

// Answers that waiting can change: the record is sent again later.
bool IsTransient(int status)
{
    return status == 0 || status == 408 || status == 429 || (status >= 500 && status <= 599);
}

// Registers the switch (default "1") through the store and binds the flag to it.
void RegisterSwitch(PersistentStorage& storage, const char* name, const char* description,
                    const std::shared_ptr<std::atomic<bool>>& flag)
{
    CVarWrapper cvar = storage.RegisterPersistentCvar(name, "1", description, true, 0, 0);
    BindFlag(cvar, flag);
}

}  // namespace

std::shared_ptr<TradeEventHandler> TradeEventHandler::Create(std::shared_ptr<PluginEventDispatcher> dispatcher,
                                                             std::shared_ptr<GameWrapper> gameWrapper,
                                                             std::shared_ptr<QvxApi> api,
                                                             std::shared_ptr<PersistentStorage> storage,
                                                             std::unique_ptr<Executor> executor)
{
    auto handler = std::make_shared<TradeEventHandler>(CreateKey{}, std::move(dispatcher), std::move(gameWrapper),
                                                       std::move(api), std::move(storage), std::move(executor));
    const std::weak_ptr<TradeEventHandler> weak = handler;
    RegisterSwitch(*handler->storage_, ScamCheckCvar, texts::trade::ScamCheckCvarDescription, handler->scamCheckEnabled_);
    RegisterSwitch(*handler->storage_, TradeSyncCvar, texts::trade::TradeSyncCvarDescription, handler->tradeSyncEnabled_);
    // The dispatch is the trade capture's hook: nothing may escape into it.
    handler->dispatcher_->AddEventListener<TradeStart>(
        EventType::TradeStart, WeakCallback(weak, "TradeEventHandler::OnTradeStart",
                                            [](TradeEventHandler& self, const TradeStart& event) { self.OnTradeStart(event); }));
    handler->dispatcher_->AddEventListener<TradeEnd>(
        EventType::TradeEnd, WeakCallback(weak, "TradeEventHandler::OnTradeEnd",
                                          [](TradeEventHandler& self, const TradeEnd& event) { self.OnTradeEnd(event); }));

    // What an earlier run could not deliver goes first, once the file is read.
    handler->executor_->Post(WeakTask(weak, "TradeEventHandler::LoadOutbox",
                                      [weak, shared = handler->shared_, game = handler->gameWrapper_] {
                                          const std::size_t loaded = shared->outbox.Load();
                                          shared->gate.RunWhileOpen([&] {
                                              if (loaded > 0) {
                                                  Log("Trade outbox holds {} trades to send again", loaded);
                                              }
                                              game->Execute(WeakCallback(weak, "TradeEventHandler::FlushOutbox",
                                                                         [](TradeEventHandler& self, GameWrapper*) {
                                                                             self.FlushOutbox();
                                                                         }));
                                          });
                                      }));
    return handler;
}

TradeEventHandler::TradeEventHandler(CreateKey, std::shared_ptr<PluginEventDispatcher> dispatcher,
                                     std::shared_ptr<GameWrapper> gameWrapper, std::shared_ptr<QvxApi> api,
                                     std::shared_ptr<PersistentStorage> storage, std::unique_ptr<Executor> executor)
    : dispatcher_(std::move(dispatcher)),
      gameWrapper_(std::move(gameWrapper)),
      api_(std::move(api)),
      storage_(std::move(storage)),
      tradeSyncEnabled_(std::make_shared<std::atomic<bool>>(true)),
      scamCheckEnabled_(std::make_shared<std::atomic<bool>>(true)),
      shared_(std::make_shared<Shared>(gameWrapper_->GetDataFolder())),
      executor_(std::move(executor))
{
}

TradeEventHandler::~TradeEventHandler()
{
    shared_->gate.Close();
}

void TradeEventHandler::OnTradeStart(const TradeStart& event) const
{
    if (!*scamCheckEnabled_) {
        return;
    }
    LogText(texts::trade::HandlerTradeStartLine);
    const nlohmann::json body = {{"trading_player_id", event.details.remote.id}};
    Send(api_->validateTraderUrl, DumpJson(body, -1, "the partner check request"),
         &TradeEventHandler::HandleValidateTraderResponse, "TradeEventHandler::HandleValidateTraderResponse");
}

void TradeEventHandler::OnTradeEnd(const TradeEnd& event)
{
    if (!*tradeSyncEnabled_) {
        return;
    }
    LogText(texts::trade::HandlerTradeEndLine);
    TradeOutbox::Record record{0, DumpJson(TradeLogJson(event.details), -1, "the trade log request"),
                               event.details.tradeGuid};
    record.id = shared_->outbox.Add(record.body, record.tradeGuid);
    if (record.id != 0) {
        SaveOutbox();
    }
    SendTradeLog(record, false);
}

void TradeEventHandler::FlushOutbox()
{
    std::optional<TradeOutbox::Record> record;
    {
        std::lock_guard<std::mutex> lock(deliveryMutex_);
        if (outboxSending_ || retryWaiting_ || !(record = shared_->outbox.TakeOldest())) {
            return;
        }
        outboxSending_ = true;
    }
    Log("Sending trade {} again", TradeOutbox::ShortGuid(record->tradeGuid));
    SendTradeLog(*record, true);
}

void TradeEventHandler::SendTradeLog(const TradeOutbox::Record& record, bool fromOutbox)
{
    // The answer needs only which record it was; the body may be large.
    HttpWrapper::SendCurlJsonRequest(
        api_->BuildRequest(api_->logIngameTradeUrl, record.body),
        WeakCallback(weak_from_this(), "TradeEventHandler::HandleTradeLogResponse",
                     [sent = TradeOutbox::Record{record.id, {}, record.tradeGuid}, fromOutbox](
                         TradeEventHandler& self, int status, const std::string& answer) {
                         self.HandleTradeLogResponse(status, ReadRetryAfter(status, answer, Clock::Now()), sent,
                                                     fromOutbox);
                     }));
}

void TradeEventHandler::SaveOutbox(bool retry)
{
    executor_->Post(WeakTask(weak_from_this(), "TradeEventHandler::SaveOutbox",
                             [weak = weak_from_this(), shared = shared_, game = gameWrapper_, retry] {
        if (retry && !shared->outboxRetry.TimerFired()) {
            return;
        }
        FileWriteResult result = shared->outbox.Save();
        shared->gate.RunWhileOpen([&] {
            const auto step = shared->outboxRetry.After(
                result, *game, WeakCallback(weak, "TradeEventHandler::RetrySaveOutbox",
                                            [](TradeEventHandler& self, GameWrapper*) { self.SaveOutbox(true); }));
            if (step == HeldFileRetry::Step::Done && !result.failure.empty()) {
                Log("Could not write the trade outbox: {}", result.failure);
            }
        });
    }));
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
    Log(texts::trade::ValidateTraderUnknownLine, status);
}

void TradeEventHandler::HandleTradeLogResponse(int status, std::optional<std::chrono::seconds> asked,
                                               const TradeOutbox::Record& record, bool fromOutbox)
{
    const std::string trade = TradeOutbox::ShortGuid(record.tradeGuid);
    const bool transient = status != 200 && IsTransient(status);
    if (status == 200) {
        ShowToast(texts::trade::TradeLoggedText, 0, 3.0f);
        LogText(texts::trade::TradeLoggedText);
    } else {
        Log(texts::trade::LogIngameTradeUnknownLine, status);
        if (!transient) {
            Log("Trade {} dropped: the service refused it ({})", trade, status);
        } else if (record.id != 0) {
            Log("Trade {} kept to send again", trade);
        }
    }
    if (transient) {
        shared_->outbox.Settle(record.id);
    } else if (shared_->outbox.Remove(record.id)) {
        SaveOutbox();
    }

    bool sendNext = false;
    std::chrono::seconds retryWait{0};
    std::uint64_t retryTimer = 0;
    {
        std::lock_guard<std::mutex> lock(deliveryMutex_);
        if (fromOutbox) {
            outboxSending_ = false;
        }
        if (status == 200) {
            // The service is back: no need to wait for the retry timer.
            backoff_.Reset();
            retryWaiting_ = false;
            ++retryTimer_;
        }
        if (transient && record.id != 0 && !retryWaiting_) {
            retryWaiting_ = true;
            retryWait = backoff_.Next();
            if (asked) {
                retryWait = *asked;
            }
            retryTimer = ++retryTimer_;
        }
        // After a 200 the service is back: what waits goes now. After a refusal, the next in line.
        sendNext = !transient && !retryWaiting_ && (status == 200 || fromOutbox);
    }
    if (sendNext) {
        gameWrapper_->Execute(WeakCallback(weak_from_this(), "TradeEventHandler::FlushOutbox",
                                           [](TradeEventHandler& self, GameWrapper*) { self.FlushOutbox(); }));
    }
    if (retryWait.count() > 0) {
        if (asked) {
            Log("The service asked to wait {} s before the next trade log", asked->count());
        }
        Log("Retrying the trade log in {} s", retryWait.count());
        gameWrapper_->SetTimeout(WeakCallback(weak_from_this(), "TradeEventHandler::FlushOutbox",
                                              [retryTimer](TradeEventHandler& self, GameWrapper*) {
                                                  {
                                                      std::lock_guard<std::mutex> lock(self.deliveryMutex_);
                                                      if (self.retryTimer_ != retryTimer) {
                                                          return;
                                                      }
                                                      self.retryWaiting_ = false;
                                                  }
                                                  self.FlushOutbox();
                                              }),
                                 static_cast<float>(retryWait.count()));
    }
}

void TradeEventHandler::OnScammerDetected() const
{
    LogText(texts::trade::HandlerScammerLine);
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
