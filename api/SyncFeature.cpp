#include "api/SyncFeature.h"

#include <utility>

#include "api/QvxApi.h"
#include "api/Texts.h"
#include "core/CvarBinding.h"
#include "core/Events.h"
#include "core/Log.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/SafeText.h"

namespace quorvex {

SyncFeature::SyncFeature(std::shared_ptr<QvxApi> apiHandle, std::shared_ptr<PluginEventDispatcher> dispatcherHandle)
    : api(std::move(apiHandle)),
      dispatcher(std::move(dispatcherHandle)),
      enabled(std::make_shared<std::atomic<bool>>(true))
{
}

CVarWrapper SyncFeature::RegisterEnableCvar(PersistentStorage& storage, const std::string& name,
                                            const std::string& description) const
{
    CVarWrapper cvar = storage.RegisterPersistentCvar(name, "1", description, true, 0, 0);
    BindFlag(cvar, enabled);
    return cvar;
}

SyncStatus SyncFeature::GetSyncStatus() const
{
    if (api->userCode->IsEmpty()) {
        return SyncStatus::NoUserCode;
    }
    if (Clock::SteadyNow() < NextSyncAllowedAt()) {
        return SyncStatus::CoolingDown;
    }
    if (!*enabled) {
        return SyncStatus::Disabled;
    }
    return SyncStatus::Ready;
}

SteadyTime SyncFeature::NextSyncAllowedAt() const
{
    return SteadyTime(SteadyTime::duration(nextSyncAllowedAt_.load()));
}

void SyncFeature::StartCooldown()
{
    const auto next = Clock::SteadyNow() + std::chrono::duration_cast<SteadyTime::duration>(cooldown);
    nextSyncAllowedAt_ = next.time_since_epoch().count();
}

void SyncFeature::HoldBack(std::chrono::seconds wait)
{
    const auto end = (Clock::SteadyNow() + std::chrono::duration_cast<SteadyTime::duration>(wait)).time_since_epoch().count();
    SteadyTime::rep current = nextSyncAllowedAt_.load();
    while (current < end && !nextSyncAllowedAt_.compare_exchange_weak(current, end)) {
    }
}

void SyncFeature::ShowToast(const std::string& text, int toastType, float seconds) const
{
    dispatcher->Dispatch(EventType::Toast, ToastEvent(text, toastType, seconds));
}

void SyncFeature::HandleResponse(const SyncResponseTexts& texts, int status, const std::string& body,
                                 const std::function<void()>& onSuccess, FailureToasts toasts) const
{
    Log(fmt::runtime(texts.firstLogLine), status, ConsoleText(body));
    switch (status) {
    case 200:
        outageToastShown_ = false;
        onSuccess();
        return;
    case 401: {
        *enabled = false;
        std::string text = QvxApi::GetResponseMessageOrEmpty(body);
        if (text.empty()) {
            text = texts::api::RefusedText;
        }
        ShowToast(ToastText(text), 3, 15.0f);
        LogText(ConsoleText(text) + texts::api::RequestsDisabledSuffix);
        return;
    }
    case 500:
        LogText(texts.serverErrorLogLine);
        return;
    default:
        if (toasts == FailureToasts::EveryFailure || !outageToastShown_.exchange(true)) {
            ShowToast(fmt::format(fmt::runtime(texts.failureToast), status, ToastText(body)), 3, 10.0f);
        }
        Log(fmt::runtime(texts.failureLogLine), status, ConsoleText(body));
        return;
    }
}

}  // namespace quorvex
