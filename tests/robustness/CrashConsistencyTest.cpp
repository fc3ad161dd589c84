// A process killed while it rewrites the inventory snapshot or the settings file must leave the
// old file or the new one, whole, and nothing that stops the next start from reading or writing
// it. A writer process (qvx_crash_writer) rewrites the file in a loop through the plug-in's own
// code; the test kills it with SIGKILL after a random delay, many times, and checks each time
// what is on disk.
//
// The writer is a separate program started with posix_spawn rather than a fork of this process:
// the settings writer needs the host's threads, and a forked copy of a threaded process (or of a
// sanitizer's run time) may not run them.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/PersistentStorage.h"
#include "inventory/InventorySnapshot.h"
#include "tests/robustness/CrashWriter.h"
#include "tests/support/TestHost.h"

extern char** environ;

namespace quorvex {
namespace {

namespace crash = testing::crash;
using testing::ReadFile;
using Microseconds = std::chrono::microseconds;

// Rounds per file: as many as fit in the budget (starting a writer dominates, and takes longer
// under sanitizers or on a busy machine), at least MinRounds and at most MaxRounds.
constexpr int MinRounds = 20;
constexpr int MaxRounds = 200;
constexpr std::chrono::seconds RoundsBudget{4};
constexpr std::mt19937::result_type Seed = 20260101;

// A running qvx_crash_writer, its standard output into a pipe; killed and reaped when it goes.
class Writer {
public:
    Writer(const std::string& mode, const std::filesystem::path& folder)
    {
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        std::string program = QVX_CRASH_WRITER;
        std::string modeArgument = mode;
        std::string folderArgument = folder.string();
        char* arguments[] = {program.data(), modeArgument.data(), folderArgument.data(), nullptr};
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, arguments, environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeEnds[1]);
        output_ = pipeEnds[0];
    }

    ~Writer()
    {
        if (pid_ > 0) {
            Kill();
        }
        if (output_ >= 0) {
            ::close(output_);
        }
    }

    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // The next progress letter ("R" ready, "W" wrote), or 0 at the end of the output or after a
    // minute without one (a writer that hangs fails the test instead of the run).
    char NextSignal()
    {
        pollfd ready{output_, POLLIN, 0};
        char letter = 0;
        return pid_ > 0 && ::poll(&ready, 1, 60000) == 1 && ::read(output_, &letter, 1) == 1 ? letter : 0;
    }

    std::string ReadAll()
    {
        std::string text;
        char buffer[256];
        for (ssize_t got; pid_ > 0 && (got = ::read(output_, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(got));
        }
        return text;
    }

    // Kills the writer. Empty when the kill ended it, otherwise how it ended instead.
    std::string Kill()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
        }
        const int status = Reap();
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL ? "" : Describe(status);
    }

    // Waits for the writer to end by itself. Empty when it exited with 0.
    std::string Wait()
    {
        const int status = Reap();
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : Describe(status);
    }

private:
    int Reap()
    {
        int status = -1;
        if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_) {
            pid_ = -1;
        }
        return status;
    }

    static std::string Describe(int status)
    {
        if (status == -1) {
            return std::string("cannot start or reap ") + QVX_CRASH_WRITER;
        }
        if (WIFEXITED(status)) {
            return "the writer exited with " + std::to_string(WEXITSTATUS(status)) + " (see its stderr)";
        }
        if (WIFSIGNALED(status)) {
            return std::string("the writer died of ") + ::strsignal(WTERMSIG(status));
        }
        return "the writer ended with status " + std::to_string(status);
    }

    pid_t pid_ = -1;
    int output_ = -1;
};

// Starts a writer, waits until it is writing and has finished `writesFirst` writes, lets it write
// for `delay` more and kills it. Empty when the kill ended it, otherwise what went wrong.
std::string KillWhileWriting(const std::string& mode, const std::filesystem::path& folder, int writesFirst,
                             Microseconds delay)
{
    Writer writer(mode, folder);
    if (writer.NextSignal() != 'R') {
        const std::string end = writer.Kill();
        return "the writer never started writing" + (end.empty() ? std::string() : ": " + end);
    }
    for (int write = 0; write < writesFirst; ++write) {
        if (writer.NextSignal() != 'W') {
            const std::string end = writer.Kill();
            return "the writer stopped before its write " + std::to_string(write + 1) +
                   (end.empty() ? std::string() : ": " + end);
        }
    }
    // The moment of the crash, chosen by the caller: not a wait for anything.
    std::this_thread::sleep_for(delay);
    return writer.Kill();
}

// How long a writer takes here to write both versions once, as a writer measures it (starting a
// process, the machine's load and sanitizers all change it). Zero when the writer failed.
Microseconds MeasureWriteCycle(const std::string& mode, const std::filesystem::path& folder)
{
    Writer writer(mode, folder);
    if (writer.NextSignal() != 'R') {
        return {};
    }
    const auto start = std::chrono::steady_clock::now();
    if (writer.NextSignal() != 'W' || writer.NextSignal() != 'W') {
        return {};
    }
    const auto cycle = std::chrono::duration_cast<Microseconds>(std::chrono::steady_clock::now() - start);
    return writer.Kill().empty() ? cycle : Microseconds{};
}

// A temporary file named as a writer names the one it is writing.
std::filesystem::path TemporaryOf(const std::filesystem::path& file)
{
    return file.string() + ".tmp-00000000c0ffee00";
}

// How many temporary files lie beside `file`.
int TemporariesBeside(const std::filesystem::path& file)
{
    const std::string prefix = file.filename().string() + ".tmp";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
        count += entry.path().filename().string().rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

void WriteText(const std::filesystem::path& file, const std::string& content)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

// A torn file: the first half of the content.
std::string Torn(const std::string& content)
{
    return content.substr(0, content.size() / 2);
}

struct KillRoundsSeen {
    int rounds = 0;
    int tornTemporaries = 0;  // rounds after which a temporary file lay beside the file
    int versionChanges = 0;   // rounds whose file differs from the round before
};

// Kills a `mode` writer round after round, each time after none, one or two finished writes
// (counted from the writer's signals, so a busy machine cannot keep every kill before the first
// replacement) and then a random delay of up to one write cycle, and checks after every kill that
// `file` is one of the two versions, byte for byte.
KillRoundsSeen KillWritersRepeatedly(const std::string& mode, const std::filesystem::path& folder,
                                     const std::filesystem::path& file, const std::string (&versions)[2])
{
    KillRoundsSeen seen;
    const Microseconds cycle = MeasureWriteCycle(mode, folder);
    EXPECT_GT(cycle.count(), 0) << "the writer failed to write both versions (see its stderr)";
    if (cycle.count() == 0) {
        return seen;
    }
    const auto versionOf = [&](const std::string& content) {
        return content == versions[0] ? 0 : content == versions[1] ? 1 : -1;
    };
    int previous = versionOf(ReadFile(file));
    EXPECT_NE(previous, -1) << "the writer that measured the write cycle left neither version";
    if (previous < 0) {
        return seen;
    }
    std::mt19937 random(Seed);
    std::uniform_int_distribution<int> writesFirst(0, 2);
    std::uniform_int_distribution<Microseconds::rep> delays(0, cycle.count());
    const auto end = std::chrono::steady_clock::now() + RoundsBudget;
    for (; seen.rounds < MaxRounds && (seen.rounds < MinRounds || std::chrono::steady_clock::now() < end);
         ++seen.rounds) {
        const int writes = writesFirst(random);
        const Microseconds delay(delays(random));
        const auto where = "round " + std::to_string(seen.rounds) + " (seed " + std::to_string(Seed) + ", killed " +
                           std::to_string(delay.count()) + " us after " + std::to_string(writes) + " finished writes)";
        const std::string death = KillWhileWriting(mode, folder, writes, delay);
        // A writer that ended on its own failed a write or refused the file it loaded.
        EXPECT_EQ(death, "") << where;
        if (!death.empty()) {
            return seen;
        }
        const std::string content = ReadFile(file);
        const int version = versionOf(content);
        // The heart of the test: never a torn, truncated, empty or missing file.
        EXPECT_NE(version, -1) << where << ": " << file << " holds " << content.size()
                               << " bytes, neither the old version (" << versions[previous].size()
                               << " bytes) nor the new one (" << versions[1 - previous].size() << " bytes)";
        if (version < 0) {
            return seen;
        }
        seen.tornTemporaries += TemporariesBeside(file) > 0 ? 1 : 0;
        seen.versionChanges += version != previous ? 1 : 0;
        previous = version;
    }
    return seen;
}

// Writers that never got to replace the file would make the rounds above pass without having
// tested anything. How many kills hit the file's own write (rather than the building of its
// content) is shown, not checked: it depends on the build and the machine (under a sanitizer,
// building the snapshot's text takes most of the time).
void ExpectWritersReplacedTheFile(const KillRoundsSeen& seen)
{
    std::printf("%d rounds, %d left a torn temporary file, %d found a new version\n", seen.rounds,
                seen.tornTemporaries, seen.versionChanges);
    EXPECT_GT(seen.versionChanges, 0) << "no writer ever replaced the file";
}

TEST(CrashConsistencyTest, KilledSnapshotWriterLeavesTheOldOrTheNewSnapshotWhole)
{
    testing::TestHost host;  // a fresh folder, removed afterwards
    const std::filesystem::path dataFolder = host.hostDir() / "data";
    const InventorySnapshot snapshot(dataFolder);

    // Both versions as the plug-in writes them; the file starts as version 0.
    std::string versions[2];
    for (const int version : {1, 0}) {
        ASSERT_EQ(snapshot.Write(crash::SnapshotGuid(version), crash::SnapshotItems(version)), "");
        versions[version] = ReadFile(snapshot.File());
    }
    ASSERT_GT(versions[1].size(), 5 * versions[0].size());

    const KillRoundsSeen seen = KillWritersRepeatedly("snapshot", dataFolder, snapshot.File(), versions);
    if (HasFailure()) {
        return;
    }
    ExpectWritersReplacedTheFile(seen);

    // A temporary file torn by a crash lies beside the snapshot: the next sync reads the snapshot
    // alone, and the next write replaces both.
    const int version = ReadFile(snapshot.File()) == versions[0] ? 0 : 1;
    WriteText(TemporaryOf(snapshot.File()), Torn(versions[1 - version]));
    const InventoryDiff diff = snapshot.ComputeDiff(crash::SnapshotItems(version));
    EXPECT_EQ(diff.previousGuid, crash::SnapshotGuid(version));
    EXPECT_TRUE(diff.added.empty() && diff.removed.empty());
    ASSERT_EQ(snapshot.Write(crash::SnapshotGuid(1 - version), crash::SnapshotItems(1 - version)), "");
    EXPECT_EQ(ReadFile(snapshot.File()), versions[1 - version]);
    EXPECT_EQ(TemporariesBeside(snapshot.File()), 0);
}

TEST(CrashConsistencyTest, KilledSettingsWriterLeavesTheOldOrTheNewSettingsWhole)
{
    testing::TestHost host;
    // Both versions as the settings store writes them.
    std::string versions[2];
    {
        auto storage = PersistentStorage::Create(host.plugin(), crash::StorageName, true, true);
        crash::RegisterSettings(*storage);
        host->RunFor(sim::Seconds(0.1));
        for (const int version : {1, 0}) {
            crash::SetSettingsVersion(*host->CvarManager(), version);
            versions[version] = ReadFile(storage->CfgPath());
        }
    }
    ASSERT_EQ(versions[0], "qvx_crash_first \"1\" //Written before the payload\n"
                           "qvx_crash_payload \"" + std::string(64, 'a') + "\" //Alternates between two sizes\n"
                           "qvx_crash_then \"0\" //Written after the payload\n");
    ASSERT_GT(versions[1].size(), 200000u);

    // The writer's own host folder, whose settings start as version 0. Each writer loads the
    // file its killed predecessor left before it writes (and exits with 4 if that was neither
    // version), as the plug-in does at the next start of the game.
    const std::filesystem::path writerHost = host.hostDir() / "writer";
    const std::filesystem::path cfgFile = writerHost / "cfg" / (std::string(crash::StorageName) + ".cfg");
    std::filesystem::create_directories(cfgFile.parent_path());
    WriteText(cfgFile, versions[0]);

    const KillRoundsSeen seen = KillWritersRepeatedly("settings", writerHost, cfgFile, versions);
    if (HasFailure()) {
        return;
    }
    ExpectWritersReplacedTheFile(seen);

    // With a torn temporary file beside it, the next start still loads the whole settings file.
    const int version = ReadFile(cfgFile) == versions[0] ? 0 : 1;
    WriteText(TemporaryOf(cfgFile), Torn(versions[1 - version]));
    Writer reader("read-settings", writerHost);
    EXPECT_EQ(reader.ReadAll(), std::to_string(version) + "\n");
    EXPECT_EQ(reader.Wait(), "");
    EXPECT_EQ(ReadFile(cfgFile), versions[version]);
}

}  // namespace
}  // namespace quorvex
