#include "plugin/Quorvex.h"

#include <imgui.h>

#include "api/QvxApi.h"
#include "core/Boundary.h"
#include "core/Log.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/ToastHandler.h"
#include "host/CVarManagerWrapper.h"
#include "host/GameWrapper.h"

namespace quorvex {

Quorvex::Quorvex() = default;

Quorvex::~Quorvex() = default;

void Quorvex::onLoad()
{
    CatchAndLog("Quorvex::onLoad", [this] {
        globalCvarManager = cvarManager;
        persistentStorage = PersistentStorage::Create(*this, "QVX_InventorySync", true, true);
        dispatcher = std::make_shared<PluginEventDispatcher>();
        toastHandler = ToastHandler::Create(dispatcher, gameWrapper, cvarManager, persistentStorage);
        api = std::make_shared<QvxApi>(gameWrapper, persistentStorage);

        dispatcher->AddEventListener<TradeScammer>(
            EventType::TradeScammer, [weak = weak_from_this()](const TradeScammer&) {
                if (auto self = weak.lock()) {
                    self->ShowScammerWarning();
                }
            });
        gameWrapper->LoadToastTexture(ToastHandler::Texture, "./data/qvxinventorysync/qvx_logo.tga");
        LogText("Plugin loaded!");
    });
}

void Quorvex::onUnload()
{
    CatchAndLog("Quorvex::onUnload", [] { LogText("Plugin unloaded!"); });
}

void Quorvex::ShowScammerWarning()
{
    ModalWrapper modal = gameWrapper->CreateModal("Scammer detected");
    modal.SetIcon("Texture2D gfx_shared.Icon_Alert");
    modal.SetBody(
        "You are currently trading with a Skyvolt account which has been banned from Quorvex for scamming.\n"
        "Proceed with caution!");
    modal.AddButton("OK", true);
    modal.ShowModal();
}

void Quorvex::RenderSettings()
{
}

std::string Quorvex::GetDisplayName()
{
    return DisplayName;
}

void Quorvex::SetUiContext(std::uintptr_t context)
{
    ImGui::SetCurrentContext(reinterpret_cast<ImGuiContext*>(context));
}

}  // namespace quorvex
