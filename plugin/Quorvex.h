#pragma once
// The plug-in object the host creates, loads, unloads and deletes. onLoad is the composition
// root: it creates every service in a fixed order and hands each the services it uses. The object
// also shows the scammer warning and carries the settings page.
//
// Threads: the host calls onLoad, onUnload and the settings-window operations on the game thread;
// ShowScammerWarning runs there too (the event is dispatched on the game thread).
#include <cstdint>
#include <memory>
#include <string>

#include "host/PluginBase.h"

namespace quorvex {

class PersistentStorage;
class PluginEventDispatcher;
class QvxApi;
class ToastHandler;

class Quorvex : public Plexar::Plugin::PlexarPlugin,
                public Plexar::Plugin::PluginSettingsWindow,
                public std::enable_shared_from_this<Quorvex> {
public:
    static constexpr const char* DisplayName = "Quorvex";

    Quorvex();
    ~Quorvex() override;
    Quorvex(const Quorvex&) = delete;
    Quorvex& operator=(const Quorvex&) = delete;

    void onLoad() override;
    void onUnload() override;

    void RenderSettings() override;
    std::string GetDisplayName() override;
    void SetUiContext(std::uintptr_t context) override;

    void ShowScammerWarning();

    // Read by the settings page and by tests; empty before onLoad.
    std::shared_ptr<PluginEventDispatcher> dispatcher;
    std::shared_ptr<QvxApi> api;
    std::shared_ptr<ToastHandler> toastHandler;
    std::shared_ptr<PersistentStorage> persistentStorage;
};

}  // namespace quorvex
