#include "tools/plexar-sim/PluginSession.h"

#include <cstdint>
#include <stdexcept>

#include <fmt/format.h>
#include <fmt/ostream.h>

#include "sim/Journal.h"
#include "tools/plexar-sim/SettingsWindowCast.h"

namespace plexarsim {

using Plexar::Plugin::PlexarPlugin;

namespace {

std::shared_ptr<PlexarPlugin> CreatePlugin(const Plexar::Plugin::PluginExports& exports)
{
    std::uintptr_t address = 0;
    try {
        address = exports.createPlugin();
    } catch (const std::exception& error) {
        throw PluginLoadError(fmt::format("createPlugin threw: {}", error.what()));
    } catch (...) {
        throw PluginLoadError("createPlugin threw an unknown exception");
    }
    if (address == 0) {
        throw PluginLoadError("createPlugin returned no plug-in");
    }
    // The library owns this handle; the host keeps its own copy.
    auto plugin = *reinterpret_cast<const std::shared_ptr<PlexarPlugin>*>(address);
    if (!plugin) {
        throw PluginLoadError("createPlugin returned an empty plug-in handle");
    }
    return plugin;
}

}  // namespace

PluginSession::PluginSession(const PluginLibrary& library, sim::Host& host, sim::ui::SettingsWindow& hostWindow,
                             std::ostream& errors)
    : library_(library), host_(host), hostWindow_(hostWindow), errors_(errors)
{
}

PluginSession::~PluginSession()
{
    Finish();
}

void PluginSession::Load()
{
    if (state_ != State::NotCreated && state_ != State::Deleted) {
        throw std::logic_error("the plug-in is loaded; delete it first");
    }
    plugin_ = CreatePlugin(library_.Exports());
    settingsWindow_ = SettingsWindowOf(*plugin_);
    plugin_->cvarManager = host_.CvarManager();
    plugin_->gameWrapper = host_.Game();
    state_ = State::Loaded;
    CallPlugin("onLoad", [this] { plugin_->onLoad(); });
    if (settingsWindow_ != nullptr) {
        CallPlugin("SetUiContext", [this] { settingsWindow_->SetUiContext(hostWindow_.UiContext()); });
        hostWindow_.ShowPage(settingsWindow_);
    }
}

void PluginSession::Unload()
{
    switch (state_) {
    case State::NotCreated:
        throw std::logic_error("the plug-in is not loaded");
    case State::Unloaded:
        throw std::logic_error("the plug-in is already unloaded");
    case State::Deleted:
        throw std::logic_error("the plug-in was deleted");
    case State::Loaded:
        break;
    }
    state_ = State::Unloaded;
    CallPlugin("onUnload", [this] { plugin_->onUnload(); });
}

void PluginSession::Delete()
{
    if (state_ == State::NotCreated || state_ == State::Deleted) {
        throw std::logic_error(state_ == State::Deleted ? "the plug-in was already deleted"
                                                        : "the plug-in is not loaded");
    }
    if (state_ == State::Loaded) {
        Unload();
    }
    // No frame of the host's screen draws the page once this returns.
    hostWindow_.ShowPage(nullptr);
    settingsWindow_ = nullptr;
    plugin_.reset();
    state_ = State::Deleted;
    CallPlugin("deletePlugin", [this] { library_.Exports().deletePlugin(); });
}

void PluginSession::Finish() noexcept
{
    if (state_ == State::Loaded || state_ == State::Unloaded) {
        Delete();
    }
}

Plexar::Plugin::PluginSettingsWindow* PluginSession::SettingsWindow() const
{
    return settingsWindow_;
}

bool PluginSession::Faulted() const
{
    return faulted_;
}

void PluginSession::CallPlugin(std::string_view call, const std::function<void()>& body)
{
    try {
        body();
    } catch (const std::exception& error) {
        faulted_ = true;
        fmt::print(errors_, "plexar-sim: {} threw: {}\n", call, sim::ShownLines(error.what()));
    } catch (...) {
        faulted_ = true;
        fmt::print(errors_, "plexar-sim: {} threw an unknown exception\n", call);
    }
}

}  // namespace plexarsim
