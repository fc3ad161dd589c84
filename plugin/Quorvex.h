#pragma once
// The plug-in object the host creates, loads, unloads and deletes. onLoad is the composition
// root: it creates every service in a fixed order and hands each the services it uses. The object
// also shows the scammer warning and carries the settings page. A load that cannot start the
// WebSocket server (the system refuses its thread) logs that, keeps the services it made and shows
// on the settings page that account linking is not available; so does the page when the server
// could not listen (another process holds the port), which its thread logs.
//
// Threads: the host calls onLoad, onUnload and the settings-window operations on the game thread;
// ShowScammerWarning runs there too (the event is dispatched on the game thread).
// OnWebSocketMessage runs on the WebSocket server thread; it only reads handles set in onLoad
// before the server started and hands the message to UserCodeMessages. The server is destroyed
// first, so its thread is joined before anything it uses goes. The destructor first closes the
// callback gate (core/CallbackGate.h): a callback under way on one of the host's threads ends
// before deleteMe returns, and none starts afterwards.
#include <cstdint>
#include <memory>
#include <string>

#include "core/CallbackGate.h"
#include "host/PluginBase.h"
#include "ws/WsServer.h"

namespace quorvex {

class InventorySync;
class LoadoutSync;
class PersistentStorage;
class PluginEventDispatcher;
class QvxApi;
class StatsSync;
class ToastHandler;
class TradeEventHandler;
class TradeLogger;
class UserCode;
class UserCodeMessages;

class Quorvex : public Plexar::Plugin::PlexarPlugin,
                public Plexar::Plugin::PluginSettingsWindow,
                public std::enable_shared_from_this<Quorvex> {
public:
    static constexpr const char* DisplayName = "Quorvex";
    // Where the linking page finds the plug-in: ws://127.0.0.1:9100.
    static constexpr std::uint16_t LinkingPort = 9100;

    // Tests pass port 0 to have the system pick a free one.
    explicit Quorvex(std::uint16_t linkingPort = LinkingPort);
    ~Quorvex() override;
    Quorvex(const Quorvex&) = delete;
    Quorvex& operator=(const Quorvex&) = delete;

    void onLoad() override;
    void onUnload() override;

    void RenderSettings() override;
    std::string GetDisplayName() override;
    void SetUiContext(std::uintptr_t context) override;

    void ShowScammerWarning();
    // The "UserCode" message of the linking page: {"UserCode": "..."} sets the user code and is
    // answered "OK"; other JSON is ignored; errors are logged and nothing is answered.
    void OnWebSocketMessage(WsMessage& message);

private:
    // Declared first, so it is made first and destroyed last (core/CallbackGate.h).
    CallbackGate::Holder callbackGate_;

public:
    // Read by the settings page and by tests; empty before onLoad.
    std::shared_ptr<PluginEventDispatcher> dispatcher;
    std::shared_ptr<UserCode> userCode;
    std::shared_ptr<QvxApi> api;
    std::shared_ptr<ToastHandler> toastHandler;
    std::shared_ptr<PersistentStorage> persistentStorage;
    std::shared_ptr<TradeLogger> tradeLogger;
    std::shared_ptr<LoadoutSync> loadoutSync;
    std::shared_ptr<StatsSync> statsSync;
    std::shared_ptr<InventorySync> inventorySync;
    std::shared_ptr<TradeEventHandler> tradeEventHandler;
    std::shared_ptr<UserCodeMessages> userCodeMessages;
    // Declared last, so it is destroyed first: its thread is joined before any service goes.
    WsServer wsServer;

private:
    std::uint16_t linkingPort_;
    // Written by onLoad, read by RenderSettings, both on the game thread.
    bool loaded_ = false;
    bool linkingServerStarted_ = false;
};

}  // namespace quorvex
