#include "plugin/Quorvex.h"

#include "api/QvxApi.h"
#include "api/UserCode.h"
#include "core/Boundary.h"
#include "core/Executor.h"
#include "core/Log.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/ToastHandler.h"
#include "host/CVarManagerWrapper.h"
#include "host/GameWrapper.h"
#include "inventory/InventorySync.h"
#include "plugin/SettingsPage.h"
#include "plugin/Texts.h"
#include "plugin/UserCodeMessages.h"
#include "plugin/Version.h"
#include "sync/LoadoutSync.h"
#include "sync/StatsSync.h"
#include "trade/TradeEventHandler.h"
#include "trade/TradeLogger.h"

namespace quorvex {

Quorvex::Quorvex(std::uint16_t linkingPort) : linkingPort_(linkingPort) {}

Quorvex::~Quorvex()
{
    // A callback on one of the host's threads may be under way: once this returns, none runs.
    CallbackGate::Close();
}

void Quorvex::onLoad()
{
    loaded_ = true;
    CatchAndLog("Quorvex::onLoad", [this] {
        globalCvarManager = cvarManager;
        persistentStorage = PersistentStorage::Create(*this, "QVX_InventorySync", true, true);
        dispatcher = std::make_shared<PluginEventDispatcher>();
        toastHandler = ToastHandler::Create(dispatcher, gameWrapper, cvarManager, persistentStorage);
        userCode = UserCode::Create(persistentStorage, dispatcher);
        api = std::make_shared<QvxApi>(gameWrapper, userCode, QUORVEX_VERSION_HEADER_TEXT);
        tradeLogger = TradeLogger::Create(gameWrapper, dispatcher);
        loadoutSync = LoadoutSync::Create(api, persistentStorage, dispatcher, gameWrapper);
        statsSync = StatsSync::Create(api, persistentStorage, dispatcher, gameWrapper);
        inventorySync = InventorySync::Create(api, persistentStorage, dispatcher, gameWrapper,
                                              std::make_unique<WorkerThreadExecutor>());
        tradeEventHandler = TradeEventHandler::Create(dispatcher, gameWrapper, api, persistentStorage,
                                                      std::make_unique<WorkerThreadExecutor>());

        dispatcher->AddEventListener<TradeScammer>(
            EventType::TradeScammer, [weak = weak_from_this()](const TradeScammer&) {
                if (auto self = weak.lock()) {
                    self->ShowScammerWarning();
                }
            });
        gameWrapper->LoadToastTexture(ToastHandler::Texture, "./data/qvxinventorysync/qvx_logo.tga");
        LogText(texts::plugin::LoadedLine);

        userCodeMessages = std::make_shared<UserCodeMessages>(userCode, dispatcher, gameWrapper);
        // The server is joined before this object goes (it is destroyed first), so the handler
        // may use `this`.
        wsServer.RegisterHandler("UserCode", [this](WsMessage& message) { OnWebSocketMessage(message); });
        wsServer.Start(linkingPort_);
        linkingServerStarted_ = true;
    });
    // A load that failed (the system refused the server thread, most likely) has been logged as
    // the exception; the player learns here and on the settings page what it costs.
    if (!linkingServerStarted_) {
        LogText("Local websocket server: not started, account linking is not available");
    }
}

void Quorvex::onUnload()
{
    CatchAndLog("Quorvex::onUnload", [] { LogText(texts::plugin::UnloadedLine); });
}

void Quorvex::ShowScammerWarning()
{
    ModalWrapper modal = gameWrapper->CreateModal(texts::plugin::ScammerModalTitle);
    modal.SetIcon(texts::plugin::ScammerModalIcon);
    modal.SetBody(texts::plugin::ScammerModalBody);
    modal.AddButton(texts::plugin::ScammerModalButton, true);
    modal.ShowModal();
}

void Quorvex::OnWebSocketMessage(WsMessage& message)
{
    CatchAndLog("Quorvex::OnWebSocketMessage",
                [&] { userCodeMessages->Take(message); });
}

void Quorvex::RenderSettings()
{
    CatchAndLog("Quorvex::RenderSettings", [this] {
        // Also when the server thread could not listen (another process holds the port).
        const bool linkingUnavailable = loaded_ && (!linkingServerStarted_ || wsServer.EndedWithoutListening());
        SettingsPage({cvarManager, gameWrapper, api, toastHandler, inventorySync, loadoutSync, linkingUnavailable})
            .Render();
    });
}

std::string Quorvex::GetDisplayName()
{
    return DisplayName;
}

void Quorvex::SetUiContext(std::uintptr_t context)
{
    CatchAndLog("Quorvex::SetUiContext", [context] { SettingsPage::UseContext(context); });
}

}  // namespace quorvex
