#pragma once
// What a plug-in library gives the host: the plug-in base classes and the exports record.
#include <cstdint>
#include <memory>
#include <string>

class CVarManagerWrapper;
class GameWrapper;

// Marks what the plug-in library exports for the host: the base classes (members, virtual tables,
// type information) and the library's own exports, whatever visibility the rest of the library
// has. A Windows DLL exports only what is marked so.
#ifdef _WIN32
#define PLEXAR_PLUGIN_API __declspec(dllexport)
#else
#define PLEXAR_PLUGIN_API __attribute__((visibility("default")))
#endif

namespace Plexar::Plugin {

// The plug-in object. The host fills cvarManager and gameWrapper, then calls onLoad on the game
// thread; onUnload when the player unloads it. The plug-in library defines these members. The
// destructor is not virtual: the object only ever goes through its shared handle, which was made
// with the plug-in's own type and destroys it as such.
class PLEXAR_PLUGIN_API PlexarPlugin {
public:
    PlexarPlugin();
    PlexarPlugin(const PlexarPlugin&);
    PlexarPlugin(PlexarPlugin&&) noexcept;
    PlexarPlugin& operator=(const PlexarPlugin&);
    PlexarPlugin& operator=(PlexarPlugin&&) noexcept;
    ~PlexarPlugin();

    virtual void onLoad();
    virtual void onUnload();

    std::shared_ptr<CVarManagerWrapper> cvarManager;
    std::shared_ptr<GameWrapper> gameWrapper;
};

// A plug-in that draws a page in the host's settings window with Dear ImGui. The host calls these
// on its drawing thread; SetUiContext once after load, with the host's ImGuiContext.
class PLEXAR_PLUGIN_API PluginSettingsWindow {
public:
    virtual ~PluginSettingsWindow() = default;
    virtual void RenderSettings() = 0;
    virtual std::string GetDisplayName() = 0;
    virtual void SetUiContext(std::uintptr_t context) = 0;
};

// The build version of this SDK; the host refuses a plug-in built against another.
constexpr std::uint32_t SdkBuildVersion = 95;
// Plug-in type flags.
constexpr std::uint32_t PluginTypeFreeplay = 1;

// The exported data record "exports", 64 bytes: how the host finds and drives the plug-in.
// getPlugin returns the address of a std::shared_ptr<PlexarPlugin> owned by the library.
struct PluginExports {
    std::uint64_t sdkBuildVersion;  // a 32-bit value, upper bytes zero
    const char* sourceFile;
    const char* className;
    const char* pluginName;
    const char* pluginVersion;
    std::uint64_t pluginType;  // a 32-bit value, upper bytes zero
    std::uintptr_t (*createPlugin)();
    void (*deletePlugin)();
};
static_assert(sizeof(PluginExports) == 64, "the exports record is 64 bytes");

}  // namespace Plexar::Plugin
