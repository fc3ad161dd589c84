#include "plugin/UserCodeMessages.h"

#include <chrono>
#include <utility>

#include <nlohmann/json.hpp>

#include "api/UserCode.h"
#include "core/Log.h"
#include "core/PluginEventDispatcher.h"
#include "core/WeakCallback.h"
#include "plugin/Texts.h"
#include "ws/WsMessage.h"

namespace quorvex {
namespace {

using Seconds = std::chrono::duration<double>;

constexpr int ConfirmedToastKind = 1;
constexpr int FailureToastKind = 3;

}  // namespace

UserCodeMessages::UserCodeMessages(std::shared_ptr<UserCode> userCode, std::shared_ptr<PluginEventDispatcher> dispatcher,
                                   std::shared_ptr<GameWrapper> gameWrapper)
    : userCode_(std::move(userCode)), dispatcher_(std::move(dispatcher)), gameWrapper_(std::move(gameWrapper))
{
}

void UserCodeMessages::Take(WsMessage& message)
{
    const auto parsed = nlohmann::json::parse(message.Payload());
    if (!parsed.is_object() || !parsed.contains("UserCode")) {
        return;
    }
    const auto& value = parsed.at("UserCode");
    if (value.is_string() && value.get_ref<const std::string&>() == userCode_->Get()) {
        message.Send(texts::plugin::UserCodeReply);
        return;
    }
    if (TooSoon() && value.is_string() && UserCode::Problem(value.get_ref<const std::string&>()).empty()) {
        if (!std::exchange(tooSoonLogged_, true)) {
            Log(texts::plugin::UserCodeTooSoonLine, MinSecondsBetweenChanges);
        }
        return;
    }
    LogText(texts::plugin::UserCodeReceivedLine);
    const auto code = value.get<std::string>();
    const UserCode::Offered offered = userCode_->Offer(
        code, WeakCallback(weak_from_this(), "UserCodeMessages::Saved",
                           [code](UserCodeMessages& self, const UserCode::Offered& saved) {
                               self.ShowChange(code, saved.previous, saved.saveFailure);
                           }));
    if (offered.outcome == UserCode::Outcome::Refused) {
        return;
    }
    if (offered.outcome == UserCode::Outcome::Changed) {
        lastChangeAt_ = Clock::SteadyNow();
        tooSoonLogged_ = false;
        if (!offered.savePending) {
            ShowChange(code, offered.previous, offered.saveFailure);
        }
    }
    message.Send(texts::plugin::UserCodeReply);
}

void UserCodeMessages::ShowChange(const std::string& code, const std::string& previous, const std::string& saveFailure)
{
    const bool otherAccount = !previous.empty() && !code.empty();
    if (!saveFailure.empty()) {
        Show({otherAccount ? texts::plugin::OtherAccountForSessionToast : texts::plugin::UserCodeForSessionToast,
              FailureToastKind});
    } else {
        Show({otherAccount ? texts::plugin::OtherAccountToast : texts::plugin::UserCodeSetToast, ConfirmedToastKind});
    }
}

bool UserCodeMessages::TooSoon() const
{
    if (!lastChangeAt_) {
        return false;
    }
    return Clock::SteadyNow() - *lastChangeAt_ < Seconds(MinSecondsBetweenChanges);
}

void UserCodeMessages::Show(Toast toast)
{
    std::unique_lock<std::mutex> lock(toastMutex_);
    const SteadyTime now = Clock::SteadyNow();
    if (!waitingToast_ && now >= toastUpUntil_) {
        toastUpUntil_ = now + std::chrono::duration_cast<SteadyTime::duration>(Seconds(ToastSeconds));
        lock.unlock();
        dispatcher_->Dispatch(EventType::Toast, ToastEvent(toast.text, toast.kind, ToastSeconds));
        return;
    }
    // One timer for the toast on screen; a later change replaces what it will show.
    const bool timerSet = waitingToast_.has_value();
    waitingToast_ = std::move(toast);
    if (!timerSet) {
        const auto wait = static_cast<float>(Seconds(toastUpUntil_ - now).count());
        gameWrapper_->SetTimeout(WeakCallback(weak_from_this(), "UserCodeMessages::ShowWaitingToast",
                                              [](UserCodeMessages& self, GameWrapper*) { self.ShowWaitingToast(); }),
                                 wait);
    }
}

void UserCodeMessages::ShowWaitingToast()
{
    std::optional<Toast> waiting;
    {
        std::lock_guard<std::mutex> lock(toastMutex_);
        waiting = std::exchange(waitingToast_, std::nullopt);
        toastUpUntil_ = SteadyTime{};
    }
    if (waiting) {
        Show(std::move(*waiting));
    }
}

}  // namespace quorvex
