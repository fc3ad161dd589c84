#include "plugin/SettingsPage.h"

#include <chrono>
#include <stdexcept>
#include <utility>

#include <imgui.h>
#include <imgui_internal.h>

#include "api/QvxApi.h"
#include "api/SyncFeature.h"
#include "core/Boundary.h"
#include "core/Clock.h"
#include "core/Log.h"
#include "core/ToastHandler.h"
#include "inventory/InventorySync.h"
#include "plugin/Texts.h"
#include "sync/LoadoutSync.h"
#include "sync/StatsSync.h"
#include "trade/TradeEventHandler.h"

namespace quorvex {
namespace {

struct FeatureSwitch {
    const char* label;
    const char* cvar;
};

constexpr FeatureSwitch FeatureSwitches[] = {
    {texts::plugin::InventorySwitchLabel, InventorySync::EnableCvar},
    {texts::plugin::LoadoutSwitchLabel, LoadoutSync::EnableCvar},
    {texts::plugin::StatsSwitchLabel, StatsSync::EnableCvar},
    {texts::plugin::ScamCheckSwitchLabel, TradeEventHandler::ScamCheckCvar},
    {texts::plugin::TradeLogSwitchLabel, TradeEventHandler::TradeSyncCvar},
};

const ImVec4 Green(0.0f, 1.0f, 0.0f, 1.0f);
const ImVec4 Red(1.0f, 0.0f, 0.0f, 1.0f);
// The alpha a widget that cannot be used is drawn at.
constexpr float GreyedAlpha = 0.5f;

// The widgets drawn while it lives ignore clicks and are drawn at GreyedAlpha; afterwards the
// style is as before. Does nothing when not asked to disable.
class DisabledWidgets {
public:
    explicit DisabledWidgets(bool disabled) : disabled_(disabled)
    {
        if (disabled_) {
            ImGui::PushStyleVar(ImGuiStyleVar_DisabledAlpha, GreyedAlpha);
            ImGui::BeginDisabled();
        }
    }
    ~DisabledWidgets()
    {
        if (disabled_) {
            ImGui::EndDisabled();
            ImGui::PopStyleVar();
        }
    }
    DisabledWidgets(const DisabledWidgets&) = delete;
    DisabledWidgets& operator=(const DisabledWidgets&) = delete;

private:
    bool disabled_;
};

// A sync service's gate as read once per frame; `available` is false without the service.
struct SyncState {
    bool available = false;
    SyncStatus status = SyncStatus::Disabled;
    SteadyTime nextSyncAllowedAt;
};

template <class Sync>
SyncState ReadState(const std::shared_ptr<Sync>& sync, const std::shared_ptr<GameWrapper>& gameWrapper)
{
    if (!sync || !gameWrapper) {
        return SyncState{};
    }
    return SyncState{true, sync->GetSyncStatus(), sync->NextSyncAllowedAt()};
}

// Whole seconds until `time`, the fraction dropped: 9 just after a 10-second cooldown started, 0
// during its last second.
int SecondsUntil(SteadyTime time)
{
    return static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(time - Clock::SteadyNow()).count());
}

// The button, usable only when the gate is open, and beside it why it is not. Returns whether it
// was clicked.
bool SyncButton(const char* label, const char* waitFormat, const SyncState& state)
{
    bool clicked = false;
    {
        const DisabledWidgets disabled(!state.available || state.status != SyncStatus::Ready);
        clicked = ImGui::Button(label);
    }
    if (!state.available) {
        ImGui::SameLine();
        ImGui::TextUnformatted(SettingsPage::NotLoadedText);
    } else if (state.status == SyncStatus::CoolingDown) {
        ImGui::SameLine();
        ImGui::Text(waitFormat, SecondsUntil(state.nextSyncAllowedAt));
    } else if (state.status == SyncStatus::Disabled) {
        ImGui::SameLine();
        ImGui::TextUnformatted(texts::plugin::DisabledLabel);
    }
    return clicked;
}

// Runs start(sync) on the game thread on a later tick, if the service is still there then.
template <class Sync, class Start>
void HandToGameThread(GameWrapper& gameWrapper, const std::shared_ptr<Sync>& sync, const char* where, Start start)
{
    gameWrapper.Execute([weak = std::weak_ptr<Sync>(sync), where, start](GameWrapper*) {
        CatchAndLog(where, [&] {
            if (auto alive = weak.lock()) {
                start(*alive);
            }
        });
    });
}

}  // namespace

SettingsPage::SettingsPage(Services services) : services_(std::move(services))
{
}

void SettingsPage::UseContext(std::uintptr_t context)
{
    // Without a context the page draws nothing, rather than into a context the host has let go.
    ImGui::SetCurrentContext(reinterpret_cast<ImGuiContext*>(context));
    if (context == 0) {
        throw std::invalid_argument("the host handed no ImGui context");
    }
}

void SettingsPage::Render() const
{
    const ImGuiContext* context = ImGui::GetCurrentContext();
    if (context == nullptr || !context->WithinFrameScope) {
        throw std::logic_error("no ImGui frame to draw in: the host has not handed its context with SetUiContext, "
                               "or is not drawing a frame");
    }
    const bool userCodeSet = services_.api && !services_.api->userCode->IsEmpty();
    ImGui::TextUnformatted(texts::plugin::FeaturesHeading);
    RenderFeatureSwitches();
    ImGui::Separator();
    RenderUserCode(userCodeSet);
    RenderLinkingUnavailable();
    RenderToastSwitch();
    RenderSyncButtons();
    RenderLinkHint(userCodeSet);
}

void SettingsPage::RenderFeatureSwitches() const
{
    for (const FeatureSwitch& feature : FeatureSwitches) {
        CVarWrapper cvar = services_.cvarManager ? services_.cvarManager->getCvar(feature.cvar) : CVarWrapper();
        if (!cvar) {
            ImGui::Text(texts::plugin::MissingCvarFormat, feature.cvar);
            continue;
        }
        bool on = cvar.getBoolValue();
        if (ImGui::Checkbox(feature.label, &on)) {
            cvar.setValue(on ? 1 : 0);
        }
    }
}

void SettingsPage::RenderUserCode(bool userCodeSet) const
{
    if (userCodeSet) {
        ImGui::TextColored(Green, texts::plugin::UserCodeSetLabel);
    } else {
        ImGui::TextColored(Red, texts::plugin::UserCodeNotSetLabel);
    }
}

void SettingsPage::RenderLinkingUnavailable() const
{
    if (services_.linkingUnavailable) {
        ImGui::TextColored(Red, "%s", LinkingUnavailableText);
    }
}

void SettingsPage::RenderToastSwitch() const
{
    const auto& toasts = services_.toastHandler;
    if (!toasts) {
        bool off = false;
        {
            const DisabledWidgets disabled(true);
            ImGui::Checkbox(texts::plugin::ToastsSwitchLabel, &off);
        }
        ImGui::SameLine();
        ImGui::TextUnformatted(NotLoadedText);
        return;
    }
    bool on = *toasts->enabled;
    if (!ImGui::Checkbox(texts::plugin::ToastsSwitchLabel, &on)) {
        return;
    }
    // `enabled` follows the cvar through its binding.
    CVarWrapper cvar = toasts->cvarManager ? toasts->cvarManager->getCvar(toasts->cvarName) : CVarWrapper();
    if (!cvar) {
        Log("cvar {} not found", toasts->cvarName);
        return;
    }
    cvar.setValue(on ? 1 : 0);
}

void SettingsPage::RenderSyncButtons() const
{
    const SyncState inventory = ReadState(services_.inventorySync, services_.gameWrapper);
    const SyncState loadout = ReadState(services_.loadoutSync, services_.gameWrapper);
    if (SyncButton(texts::plugin::SyncInventoryButton, texts::plugin::InventoryWaitFormat, inventory)) {
        HandToGameThread(*services_.gameWrapper, services_.inventorySync, "InventorySync::Sync",
                         [](InventorySync& sync) { sync.Sync(false); });
    }
    if (SyncButton(texts::plugin::SyncLoadoutButton, texts::plugin::LoadoutWaitFormat, loadout)) {
        HandToGameThread(*services_.gameWrapper, services_.loadoutSync, "LoadoutSync::Sync",
                         [](LoadoutSync& sync) { sync.Sync(); });
    }
}

void SettingsPage::RenderLinkHint(bool userCodeSet) const
{
    if (!userCodeSet) {
        // The toasts' title is the service's web domain.
        ImGui::Text(texts::plugin::NoUserCodeFormat, ToastHandler::Title);
    }
}

}  // namespace quorvex
