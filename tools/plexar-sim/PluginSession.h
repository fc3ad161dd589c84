#pragma once
// The life of one plug-in object in the host: create it through the library's exports record,
// hand it the host's services, onLoad, hand a settings page the host's ImGui context, onUnload,
// delete. An exception thrown by the plug-in is
// reported ("plexar-sim: onLoad threw: ...") and marks the session faulted; it never goes further.
//
// Threads: the game thread (the thread that plays the scenario) makes every call.
#include <functional>
#include <memory>
#include <ostream>
#include <string_view>

#include "host/PluginBase.h"
#include "sim/Host.h"
#include "sim/ui/SettingsWindow.h"
#include "tools/plexar-sim/PluginLibrary.h"

namespace plexarsim {

class PluginSession {
public:
    // Reports go to errors. The library, the host and its settings window must outlive the
    // session.
    PluginSession(const PluginLibrary& library, sim::Host& host, sim::ui::SettingsWindow& hostWindow,
                  std::ostream& errors);
    // Finishes what the scenario left undone.
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    // Creates the plug-in, keeps the host's reference to it, fills cvarManager and gameWrapper
    // and calls onLoad; then, when the plug-in has a settings page, SetUiContext with the host
    // window's context, and the host window's screen shows the page until Delete. After Delete
    // it creates a new plug-in object from the same library, into the same host, as a host does
    // when it reloads a plug-in. Throws PluginLoadError when
    // createPlugin gives no plug-in, std::logic_error while a plug-in object exists.
    void Load();
    // Calls onUnload. Throws std::logic_error unless loaded.
    void Unload();
    // Unloads first when still loaded (a host never deletes a loaded plug-in), drops the host's
    // reference and calls deletePlugin. Throws std::logic_error once deleted or before Load.
    void Delete();
    // Unloads and deletes, as far as not done yet.
    void Finish() noexcept;

    // The plug-in's settings page, when it has one and is not deleted; null otherwise.
    Plexar::Plugin::PluginSettingsWindow* SettingsWindow() const;
    // Whether an exception came out of the plug-in.
    bool Faulted() const;

private:
    enum class State { NotCreated, Loaded, Unloaded, Deleted };

    void CallPlugin(std::string_view call, const std::function<void()>& body);

    const PluginLibrary& library_;
    sim::Host& host_;
    sim::ui::SettingsWindow& hostWindow_;
    std::ostream& errors_;
    State state_ = State::NotCreated;
    bool faulted_ = false;
    std::shared_ptr<Plexar::Plugin::PlexarPlugin> plugin_;
    Plexar::Plugin::PluginSettingsWindow* settingsWindow_ = nullptr;
};

}  // namespace plexarsim
