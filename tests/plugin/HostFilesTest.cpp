// The plug-in's files as the host's platform treats them: under a host folder whose path is not
// ASCII, and (on Windows) held open by another program while they are replaced.
#include <atomic>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "core/AtomicFile.h"
#include "core/PathText.h"
#include "core/PersistentStorage.h"
#include "inventory/InventorySnapshot.h"
#include "tests/support/HeldFileCalls.h"
#include "tests/support/TestHost.h"
#include "trade/TradeOutbox.h"

namespace quorvex {
namespace {

using testing::ReadFile;

std::shared_ptr<PersistentStorage> LoadedStore(testing::TestHost& host, const OsFileCalls& os = SystemFileCalls())
{
    auto store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true, os);
    store->RegisterPersistentCvar("qvx_stats_enable", "1", "If stats live updates should be enbled", true, 0, 0);
    host->RunFor(sim::Seconds(0.1));
    return store;
}

// The host hands the plug-in a folder like C:\Users\Zoë\...: every file lands there and reads back.
TEST(HostFilesTest, TheSettingsSnapshotAndOutboxLiveUnderANonAsciiHostFolder)
{
    testing::TestHost host("Steam|76561198012345678|0", std::filesystem::u8path(u8"Zo\u00EB \u65E5\u672C"));
    const std::filesystem::path data = host->Game()->GetDataFolder();
    auto store = LoadedStore(host);
    auto stats = host->CvarManager()->getCvar("qvx_stats_enable");
    stats.setValue(0);
    store.reset();
    stats.setValue(1);
    store = LoadedStore(host);
    EXPECT_FALSE(stats.getBoolValue()) << "read back through the host";
    EXPECT_TRUE(host->ConsoleContains(u8"will store the data in " + PathText(host.cfgFile())));

    ASSERT_EQ(InventorySnapshot(data).Write("guid-1", {}), "");
    EXPECT_EQ(InventorySnapshot(data).Read().guid, "guid-1");
    TradeOutbox outbox(data);
    outbox.Add(R"({"trade_guid":"t1"})", "t1");
    ASSERT_EQ(outbox.Save().failure, "");
    EXPECT_EQ(TradeOutbox(data).Load(), 1u);
    const auto folder = host.hostDir() / "data" / "qvx-inventorysync";
    for (const auto& file : {host.cfgFile(), folder / "smartInventory.json", folder / "tradeOutbox.json"}) {
        EXPECT_TRUE(std::filesystem::is_regular_file(file)) << PathText(file);
    }
#ifdef _WIN32
    // A lone surrogate has no UTF-8 form: shown replaced, never handed over as another path.
    const std::filesystem::path unpaired(L"C:\\Users\\Zo\xD800");
    EXPECT_EQ(PathText(unpaired), "C:\\Users\\Zo\xEF\xBF\xBD");
    EXPECT_FALSE(PathUtf8(unpaired));
#endif
}

// Another program looking at the settings file while it is replaced (as the game's own launcher
// or a scanner may) finds the old file or the new one, whole: never none, never a part.
TEST(HostFilesTest, ALookAtTheSettingsFileWhileItIsReplacedFindsTheOldOrTheNewOneWhole)
{
    testing::TestHost host;
    const std::filesystem::path file = host.cfgFile();
    const std::string shorter(64, 's');
    const std::string longer(64 * 1024, 'l');
    ASSERT_EQ(WriteFileAtomically(file, shorter).failure, "");
    std::atomic<bool> stop{false};
    std::atomic<bool> wrong{false};
    std::atomic<int> seenShorter{0};
    std::atomic<int> seenLonger{0};
    std::string whatWasSeen;  // written by the reader before it sets `wrong`
    std::thread reader([&] {
        while (!stop) {
            std::error_code error;
            const std::uintmax_t size = std::filesystem::file_size(file, error);
            if (error || (size != shorter.size() && size != longer.size())) {
                whatWasSeen = error ? error.message() : std::to_string(size) + " bytes";
                wrong = true;
                return;
            }
            ++(size == shorter.size() ? seenShorter : seenLonger);
        }
    });
    // Until the reader has seen each version often: its looks and the replacements interleave.
    std::string failure;
    for (int write = 0; write < 20000 && failure.empty() && !wrong && (seenShorter < 50 || seenLonger < 50);
         ++write) {
        failure = WriteFileAtomically(file, write % 2 == 0 ? longer : shorter).failure;
    }
    stop = true;
    reader.join();
    EXPECT_EQ(failure, "");
    EXPECT_FALSE(wrong) << "a look found " << whatWasSeen;
    EXPECT_GE(seenShorter, 50);
    EXPECT_GE(seenLonger, 50);
}

#ifdef _WIN32
// The settings file held open by another program (as a scanner reading it), for real: Wine, like
// Windows, refuses MoveFileExW over it; the write is tried again until it is released, or
// reported with the old file kept and no temporary left. Lines end with CR LF.
TEST(HostFilesTest, ASettingsFileHeldOpenIsReplacedOnceReleasedOrReportedWithTheOldOneKept)
{
    testing::TestHost host;
    auto store = LoadedStore(host, testing::HeldFileCalls());  // no refusals: counts the system's calls
    host->ExecuteConsole("writeconfig");
    const std::string line = " //If stats live updates should be enbled\r\n";
    EXPECT_EQ(ReadFile(host.cfgFile()), "qvx_stats_enable \"1\"" + line);

    auto held = std::make_unique<testing::HeldOpen>(host.cfgFile());
    testing::HeldTarget::attempts = 0;
    host->CvarManager()->getCvar("qvx_stats_enable").setValue(0);
    for (int tick = 0; tick < 10 && testing::HeldTarget::attempts < 3; ++tick) {
        host->RunFor(sim::Seconds(HeldFileRetry::SecondsApart));
    }
    EXPECT_EQ(ReadFile(host.cfgFile()), "qvx_stats_enable \"1\"" + line) << "3 attempts refused";
    held.reset();
    host->RunFor(sim::Seconds(1));
    EXPECT_EQ(ReadFile(host.cfgFile()), "qvx_stats_enable \"0\"" + line);

    held = std::make_unique<testing::HeldOpen>(host.cfgFile());
    host->CvarManager()->getCvar("qvx_stats_enable").setValue(1);
    host->RunFor(sim::Seconds(2));
    EXPECT_EQ(host.CountConsoleLines("Failed to write the settings file"), 1);
    EXPECT_TRUE(host->ConsoleContains("another program kept the file in use through 11 tries"));
    EXPECT_EQ(ReadFile(host.cfgFile()), "qvx_stats_enable \"0\"" + line);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(host.cfgFile().parent_path()), {}), 1) << "no temporary";
}
#endif

}  // namespace
}  // namespace quorvex
