#include "core/PersistentStorage.h"

#include <fstream>
#include <functional>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include "tests/support/HeldFileCalls.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

using testing::ReadTextFile;

const std::string FreshFile =
    "hidden_qvx_user_code \"\" //User code for QVX\n"
    "qvx_inventorysync_enable \"1\" //If Inventory sync should be enbled\n"
    "qvx_loadoutsync_enable \"1\" //If loadout sync should be enbled\n"
    "qvx_scamcheck_enable \"1\" //If Scam check should be enbled\n"
    "qvx_stats_enable \"0\" //If stats live updates should be enbled\n"
    "qvx_toasts_enabled \"1\" //If QVX toasts should pop up\n"
    "qvx_tradesync_enable \"1\" //If trade sync should be enbled\n";

class PersistentStorageTest : public ::testing::Test {
protected:
    // Registers the plug-in's seven cvars in the order their owners do, which is not file order.
    void CreateStoreWithPluginCvars(const OsFileCalls& os = SystemFileCalls())
    {
        store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true, os);
        store->RegisterPersistentCvar("qvx_toasts_enabled", "1", "If QVX toasts should pop up", true, 0, 0);
        store->RegisterPersistentCvar("hidden_qvx_user_code", "", "User code for QVX", false, 0, 0);
        store->RegisterPersistentCvar("qvx_loadoutsync_enable", "1", "If loadout sync should be enbled", true, 0, 0);
        store->RegisterPersistentCvar("qvx_stats_enable", "1", "If stats live updates should be enbled", true, 0, 0);
        store->RegisterPersistentCvar("qvx_inventorysync_enable", "1", "If Inventory sync should be enbled", true, 0, 0);
        store->RegisterPersistentCvar("qvx_scamcheck_enable", "1", "If Scam check should be enbled", true, 0, 0);
        store->RegisterPersistentCvar("qvx_tradesync_enable", "1", "If trade sync should be enbled", true, 0, 0);
    }

    void WriteCfg(const std::string& content)
    {
        std::filesystem::create_directories(host.cfgFile().parent_path());
        std::ofstream(host.cfgFile()) << content;
    }

    CVarWrapper Cvar(const std::string& name) { return host->CvarManager()->getCvar(name); }

    std::vector<std::filesystem::path> CfgFolder()
    {
        return {std::filesystem::directory_iterator(host.cfgFile().parent_path()), {}};
    }

    testing::TestHost host;
    std::shared_ptr<PersistentStorage> store;
};

TEST_F(PersistentStorageTest, FreshInstallWritesEveryStoredCvarInNameOrderOnFirstChange)
{
    CreateStoreWithPluginCvars();
    EXPECT_TRUE(host->ConsoleContains("PersistentStorage: created and will store the data in " +
                                      host.cfgFile().string()));
    host->RunFor(sim::Seconds(0.1));
    EXPECT_TRUE(store->IsLoaded());
    EXPECT_FALSE(std::filesystem::exists(host.cfgFile())) << "a missing file is not created by the load";

    Cvar("qvx_stats_enable").setValue(0);

    EXPECT_EQ(ReadTextFile(host.cfgFile()), FreshFile);
}

TEST_F(PersistentStorageTest, WriteconfigWritesOnlyAfterTheLoad)
{
    CreateStoreWithPluginCvars();
    host->ExecuteConsole("writeconfig");
    host->RunFor(sim::Seconds(0.05));
    EXPECT_FALSE(std::filesystem::exists(host.cfgFile()));

    host->RunFor(sim::Seconds(0.05));
    host->ExecuteConsole("writeconfig");
    EXPECT_TRUE(std::filesystem::exists(host.cfgFile()));
}

TEST_F(PersistentStorageTest, SavedValuesAreLoadedWithoutRewritingTheFile)
{
    const std::string saved = "qvx_toasts_enabled \"0\" //If QVX toasts should pop up\n";
    WriteCfg(saved);
    CreateStoreWithPluginCvars();
    host->RunFor(sim::Seconds(0.1));

    EXPECT_TRUE(host->ConsoleContains("PersistentStorage: Loading the persistent storage cfg"));
    EXPECT_FALSE(Cvar("qvx_toasts_enabled").getBoolValue());
    EXPECT_EQ(ReadTextFile(host.cfgFile()), saved);

    host->ExecuteConsole("writeconfig");
    EXPECT_NE(ReadTextFile(host.cfgFile()).find("qvx_toasts_enabled \"0\""), std::string::npos);
}

TEST_F(PersistentStorageTest, DestructionWritesOnlyWhenLoaded)
{
    WriteCfg("qvx_stats_enable \"1\" //old\n");
    CreateStoreWithPluginCvars();
    store.reset();
    host->RunFor(sim::Seconds(1));  // the scheduled load finds the store gone
    EXPECT_EQ(ReadTextFile(host.cfgFile()), "qvx_stats_enable \"1\" //old\n");

    CreateStoreWithPluginCvars();
    host->RunFor(sim::Seconds(0.1));
    store.reset();
    EXPECT_NE(ReadTextFile(host.cfgFile()).find("hidden_qvx_user_code \"\" //User code for QVX\n"), std::string::npos);
}

TEST_F(PersistentStorageTest, ValuesNeverCarryQuotesOrLineBreaksIntoTheFile)
{
    CreateStoreWithPluginCvars();
    host->RunFor(sim::Seconds(0.1));

    Cvar("hidden_qvx_user_code").setValue("abc\" \nqvx_stats_enable \"0");

    const std::string content = ReadTextFile(host.cfgFile());
    EXPECT_NE(content.find("hidden_qvx_user_code \"abc qvx_stats_enable 0\" //User code for QVX\n"), std::string::npos)
        << content;
    EXPECT_NE(content.find("qvx_stats_enable \"1\""), std::string::npos);
    EXPECT_TRUE(host->ConsoleContains("PersistentStorage: Warning the value of hidden_qvx_user_code"));
}

TEST_F(PersistentStorageTest, UnwritableFileIsReportedAndTheMapKept)
{
    // A regular file where the cfg folder should be: nothing can be written below it.
    std::ofstream(host.hostDir() / "cfg-blocker") << "x";
    std::filesystem::remove_all(host.hostDir() / "cfg");
    std::filesystem::rename(host.hostDir() / "cfg-blocker", host.hostDir() / "cfg");
    CreateStoreWithPluginCvars();
    host->RunFor(sim::Seconds(0.1));

    Cvar("qvx_stats_enable").setValue(0);
    EXPECT_EQ(host.CountConsoleLines("PersistentStorage: Failed to write the settings file"), 1);

    std::filesystem::remove(host.hostDir() / "cfg");
    host->ExecuteConsole("writeconfig");
    EXPECT_EQ(ReadTextFile(host.cfgFile()), FreshFile);
}

// Only what the store itself writes is handed to the host's load: a FIFO there would block the
// game thread for good, a folder or a huge file is no settings file.
TEST_F(PersistentStorageTest, AnythingButABoundedRegularFileIsMovedAsideAndTheDefaultsWritten)
{
    const auto aside = host.cfgFile().string() + ".unreadable";
    std::vector<std::pair<std::string, std::function<void()>>> cases{
        {"a folder", [&] { std::filesystem::create_directories(host.cfgFile() / "inside"); }},
        {"a file over 1 MiB", [&] { WriteCfg("qvx_stats_enable \"0\" //" + std::string(1024 * 1024, 'x') + "\n"); }},
#ifndef _WIN32
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(host.cfgFile().c_str(), 0600), 0); }},
#endif
    };
    for (const auto& [what, make] : cases) {
        SCOPED_TRACE(what);
        std::filesystem::remove_all(host.cfgFile());
        make();
        CreateStoreWithPluginCvars();
        const int linesBefore = host.CountConsoleLines("PersistentStorage: The settings file ");
        host->RunFor(sim::Seconds(0.1));

        EXPECT_TRUE(store->IsLoaded());
        EXPECT_EQ(host.CountConsoleLines("PersistentStorage: The settings file ") - linesBefore, 1);
        EXPECT_TRUE(host->ConsoleContains("it was moved to " + aside + "; the defaults apply"));
        EXPECT_TRUE(std::filesystem::exists(aside));
        EXPECT_TRUE(Cvar("qvx_stats_enable").getBoolValue());
        std::string defaults = FreshFile;
        const std::string statsOff = "qvx_stats_enable \"0\"";
        defaults.replace(defaults.find(statsOff), statsOff.size(), "qvx_stats_enable \"1\"");
        EXPECT_EQ(ReadTextFile(host.cfgFile()), defaults) << "written afresh";
        store.reset();
        host->RunUntilIdle();
    }
}

// Another program holding the file a moment: each change returns at once, the timer retries with
// the latest values; held for good, one clear line, the old file, no temporary.
TEST_F(PersistentStorageTest, AHeldFileIsTriedAgainOnTimersWithTheLatestValuesThenReported)
{
    using testing::HeldTarget;
    CreateStoreWithPluginCvars(testing::HeldFileCalls());
    host->RunFor(sim::Seconds(0.1));
    host->ExecuteConsole("writeconfig");
    const std::string old = ReadTextFile(host.cfgFile());
    HeldTarget::refusals = 3;
    HeldTarget::attempts = 0;
    Cvar("qvx_toasts_enabled").setValue(0);
    Cvar("qvx_stats_enable").setValue(0);  // while a retry waits: no second timer
    EXPECT_EQ(ReadTextFile(host.cfgFile()), old);
    host->RunFor(sim::Seconds(1));
    EXPECT_EQ(HeldTarget::attempts, 4) << "two retries, the second one written";
    const std::string written = ReadTextFile(host.cfgFile());
    EXPECT_NE(written.find("qvx_toasts_enabled \"0\""), std::string::npos) << written;
    EXPECT_NE(written.find("qvx_stats_enable \"0\""), std::string::npos) << written;

    HeldTarget::refusals = HeldTarget::ForGood;
    Cvar("qvx_scamcheck_enable").setValue(0);
    host->RunFor(sim::Seconds(0.5));
    EXPECT_EQ(host.CountConsoleLines("Failed to write the settings file"), 0) << "still trying";
    host->RunFor(sim::Seconds(1));
    EXPECT_EQ(host.CountConsoleLines("another program kept the file in use through 11 tries over 1.0 s"), 1);
    EXPECT_EQ(ReadTextFile(host.cfgFile()), written);
    EXPECT_EQ(CfgFolder(), std::vector<std::filesystem::path>{host.cfgFile()});
    HeldTarget::refusals = 0;
}

TEST_F(PersistentStorageTest, RefusedAndUnregisteredCvarsAreReportedAndNotStored)
{
    store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true);
    EXPECT_FALSE(store->RegisterPersistentCvar("bad name", "1", "refused", true, 0, 0));
    EXPECT_TRUE(host->ConsoleContains("PersistentStorage: Failed to register the cvar bad name"));
    store->AddCVar("qvx_missing");
    EXPECT_TRUE(host->ConsoleContains(
        "PersistentStorage: Warning the cvar qvx_missing should be registered before adding it to persistent storage"));

    host->RunFor(sim::Seconds(0.1));
    host->ExecuteConsole("writeconfig");
    EXPECT_EQ(ReadTextFile(host.cfgFile()), "");
}

}  // namespace
}  // namespace quorvex
