#pragma once
// A substitute host on virtual time for tests: a fresh host folder, the plug-in's clock and log
// pointed at the host, and a plug-in base object holding the host's handles.
#include <filesystem>
#include <string>

#include "host/PluginBase.h"
#include "sim/Host.h"

namespace quorvex::testing {

class TestHost {
public:
    explicit TestHost(const std::string& uniqueId = "Steam|76561198012345678|0");
    // The host folder is `folderName` inside a fresh folder (a name of any characters).
    TestHost(const std::string& uniqueId, const std::filesystem::path& folderName);
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    sim::Host& host() { return *host_; }
    sim::Host* operator->() { return host_.get(); }
    // What a host hands a plug-in before onLoad.
    const Plexar::Plugin::PlexarPlugin& plugin() const { return plugin_; }
    const std::filesystem::path& hostDir() const { return hostDir_; }
    std::filesystem::path cfgFile() const { return hostDir_ / "cfg" / "QVX_InventorySync.cfg"; }

    // Console lines logged so far that contain text.
    int CountConsoleLines(const std::string& text) const;

private:
    std::filesystem::path topDir_;
    std::filesystem::path hostDir_;
    std::unique_ptr<sim::Host> host_;
    Plexar::Plugin::PlexarPlugin plugin_;
};

std::string ReadFile(const std::filesystem::path& path);
// A text file the plug-in writes in the platform's text format (the settings file), with its line
// ends read as "\n": on Windows each CR LF is one line end.
std::string ReadTextFile(const std::filesystem::path& path);

}  // namespace quorvex::testing
