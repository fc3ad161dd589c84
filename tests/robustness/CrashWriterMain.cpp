// qvx_crash_writer: rewrites one file through the plug-in's own code, alternating between its two
// versions, until it is killed. The crash-consistency test starts it, kills it at a random moment
// and checks what it left.
//
//   qvx_crash_writer snapshot <data folder>   the inventory snapshot, via InventorySnapshot::Write
//   qvx_crash_writer settings <host folder>   the settings file, via PersistentStorage on a host
//   qvx_crash_writer read-settings <host folder>
//                                             loads the settings file as the plug-in does at start
//                                             and prints the version the payload holds (0, 1, -1)
//
// The writers print "R" once everything is set up and the first write is about to start, so the
// test's random delay measures time spent writing, not starting, and "W" after each write, so the
// test can measure how long writes take here. A writer that fails exits with 3 (a write failed)
// or 4 (the file it loaded was neither version), saying why on stderr.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "core/Log.h"
#include "core/PersistentStorage.h"
#include "host/PluginBase.h"
#include "inventory/InventorySnapshot.h"
#include "sim/Host.h"
#include "tests/robustness/CrashWriter.h"

namespace {

using namespace quorvex;
using namespace quorvex::testing;

void Signal(const char* what)
{
    if (::write(STDOUT_FILENO, what, 1) != 1) {
        std::perror("qvx_crash_writer: cannot signal progress");
        std::_Exit(2);
    }
}

[[noreturn]] void RewriteSnapshot(const std::filesystem::path& dataFolder)
{
    const InventorySnapshot snapshot(dataFolder);
    const std::vector<ProductData> items[] = {crash::SnapshotItems(0), crash::SnapshotItems(1)};
    Signal("R");
    for (int version = 1;; version = 1 - version) {
        if (const std::string failure = snapshot.Write(crash::SnapshotGuid(version), items[version]);
            !failure.empty()) {
            std::fprintf(stderr, "qvx_crash_writer: %s\n", failure.c_str());
            std::_Exit(3);
        }
        Signal("W");
    }
}

// Loads the settings file the way the plug-in's start does: the store's load runs 0.1 s after
// its creation. A failed write is only logged by the store, so the console is watched for it.
int WithLoadedSettings(const std::filesystem::path& hostDir, bool rewriteForever)
{
    sim::HostOptions options;
    options.hostDir = hostDir;
    sim::Host host(options);
    host.SetJournalSink([](const sim::JournalEntry& entry) {
        if (entry.kind == sim::JournalEntry::Kind::Console &&
            entry.text.rfind("PersistentStorage: Failed", 0) == 0) {
            std::fprintf(stderr, "qvx_crash_writer: %s\n", entry.text.c_str());
            std::_Exit(3);
        }
    });
    globalCvarManager = host.CvarManager();
    Plexar::Plugin::PlexarPlugin plugin;
    plugin.cvarManager = host.CvarManager();
    plugin.gameWrapper = host.Game();

    auto storage = PersistentStorage::Create(plugin, crash::StorageName, true, true);
    crash::RegisterSettings(*storage);
    host.RunFor(sim::Seconds(0.1));
    const int loaded = crash::SettingsVersion(*host.CvarManager());
    if (!rewriteForever) {
        std::printf("%d\n", loaded);
        storage.reset();  // writes the file once more, as the plug-in does when it goes
        globalCvarManager.reset();
        return 0;
    }
    if (loaded < 0) {
        std::fprintf(stderr, "qvx_crash_writer: the settings file held neither version\n");
        std::_Exit(4);
    }
    Signal("R");
    for (int version = 1 - loaded;; version = 1 - version) {
        crash::SetSettingsVersion(*host.CvarManager(), version);
        Signal("W");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 3 ? argv[1] : "";
    if (mode == "snapshot") {
        RewriteSnapshot(argv[2]);
    }
    if (mode == "settings" || mode == "read-settings") {
        return WithLoadedSettings(argv[2], mode == "settings");
    }
    std::fprintf(stderr, "usage: qvx_crash_writer snapshot|settings|read-settings <folder>\n");
    return 2;
}
