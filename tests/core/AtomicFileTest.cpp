#include "core/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

using testing::ReadFile;

class AtomicFileTest : public ::testing::Test {
protected:
    AtomicFileTest()
        : dir(std::filesystem::temp_directory_path() /
              ("quorvex-atomic-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name()))
    {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~AtomicFileTest() override { std::filesystem::remove_all(dir); }

    // The names in dir, so a test sees any temporary file left behind.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    const std::filesystem::path dir;
};

TEST_F(AtomicFileTest, CreatesFoldersAndReplacesTheWholeFileWithoutLeavingATemporary)
{
    const auto file = dir / "a" / "b" / "settings.cfg";
    EXPECT_EQ(WriteFileAtomically(file, "first, longer content\n").failure, "");
    EXPECT_EQ(ReadFile(file), "first, longer content\n");

    EXPECT_EQ(WriteFileAtomically(file, std::string("x\0y", 3)).failure, "");
    EXPECT_EQ(ReadFile(file), std::string("x\0y", 3)) << "the old tail must not survive a shorter write";
    EXPECT_EQ(WriteFileAtomically(file, "").failure, "");
    EXPECT_EQ(ReadFile(file), "");
    EXPECT_EQ(Entries(), std::vector<std::string>{"a"});
    EXPECT_FALSE(std::filesystem::exists(dir / "a" / "b" / "settings.cfg.tmp"));
}

TEST_F(AtomicFileTest, FailuresAreExplainedAndLeaveTheOldFileAndNoTemporary)
{
    const auto file = dir / "settings.cfg";
    std::ofstream(file) << "old";

    // A non-empty folder in the target's place: the written temporary cannot replace it and goes.
    const auto blocked = dir / "blocked";
    std::filesystem::create_directories(blocked / "inside");
    const std::string failure = WriteFileAtomically(blocked, "new").failure;
    EXPECT_EQ(failure.rfind("cannot replace " + blocked.string() + ": ", 0), 0u) << failure;
    EXPECT_TRUE(std::filesystem::is_directory(blocked / "inside"));

    // A file where a parent folder should be.
    const std::string noFolder = WriteFileAtomically(file / "below.cfg", "new").failure;
    EXPECT_EQ(noFolder.rfind("cannot create " + file.string() + ": ", 0), 0u) << noFolder;

    // A folder that cannot take new files: nothing is written, nothing is left.
    const auto readOnly = dir / "read-only";
    std::filesystem::create_directory(readOnly);
    std::ofstream(readOnly / "settings.cfg") << "old";
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::access(readOnly.c_str(), W_OK) != 0) {  // root may write anyway
        const std::string denied = WriteFileAtomically(readOnly / "settings.cfg", "new").failure;
        EXPECT_EQ(denied.rfind("cannot create " + (readOnly / "settings.cfg.tmp-").string(), 0), 0u) << denied;
        EXPECT_EQ(ReadFile(readOnly / "settings.cfg"), "old");
    }
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(readOnly);

    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"blocked", "settings.cfg"}));
}

// Temporaries of earlier versions had one fixed name, so a link planted under it made the next
// write go through it. Now such links, and leftovers of crashed writes, are removed, never
// followed, and what they point at stays as it was.
TEST_F(AtomicFileTest, PlantedLinksAndLeftoversAreRemovedWithoutTouchingWhatTheyPointAt)
{
    const auto victim = dir / "victim.txt";
    std::ofstream(victim) << "precious";
    const auto file = dir / "settings.cfg";
    std::filesystem::create_symlink(victim, dir / "settings.cfg.tmp");
    std::filesystem::create_symlink(victim, dir / "settings.cfg.tmp-0123456789abcdef");
    std::ofstream(dir / "settings.cfg.tmp-crashed") << "half a write";
    std::filesystem::create_directory(dir / "settings.cfg.tmp-folder");
    std::ofstream(dir / "settings.cfg.tmpx") << "not ours";
    std::ofstream(dir / "other.cfg.tmp-1") << "another file's";

    EXPECT_EQ(WriteFileAtomically(file, "new").failure, "");

    EXPECT_EQ(ReadFile(file), "new");
    EXPECT_EQ(ReadFile(victim), "precious");
    EXPECT_FALSE(std::filesystem::is_symlink(file));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"other.cfg.tmp-1", "settings.cfg", "settings.cfg.tmp-folder",
                                                   "settings.cfg.tmpx", "victim.txt"}));
}

// Writes of different files in one folder run at once: none takes another's temporary for a
// leftover.
TEST_F(AtomicFileTest, ParallelWritesOfNeighbouringFilesAllLand)
{
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 4; ++writer) {
        writers.emplace_back([this, writer] {
            for (int round = 0; round < 50; ++round) {
                EXPECT_EQ(WriteFileAtomically(dir / ("file" + std::to_string(writer)), std::to_string(round)).failure, "");
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(Entries(), (std::vector<std::string>{"file0", "file1", "file2", "file3"}));
    EXPECT_EQ(ReadFile(dir / "file3"), "49");
}

// The system's file calls with the faults a test plans: the operating system may take a write in
// parts, interrupt calls with a signal, run out of space or fail to flush, close or rename.
struct FaultPlan {
    // The first so many creates find the name taken (EEXIST); a create fails with openError.
    int takenNames = 0;
    int openError = 0;
    std::size_t bytesPerWrite = std::numeric_limits<std::size_t>::max();
    // Bytes the disk takes in all; a write beyond fails with ENOSPC.
    std::size_t diskSpace = std::numeric_limits<std::size_t>::max();
    bool writesTakeNothing = false;
    // The first so many writes, and fsyncs, fail with EINTR.
    int interruptedWrites = 0;
    int interruptedFsyncs = 0;
    int fsyncError = 0;
    int closeError = 0;  // reported after the descriptor is closed, as Linux does
    int renameError = 0;

    std::size_t written = 0;
    int writeCalls = 0;
};

FaultPlan faults;

// An interruption is due: the call fails with EINTR and one fewer is left.
bool Interrupted(int& interruptions)
{
    if (interruptions == 0) {
        return false;
    }
    --interruptions;
    errno = EINTR;
    return true;
}

int FailWith(int error)
{
    errno = error;
    return -1;
}

const OsFileCalls FaultyCalls{
    LineEnd::Lf,
    [](const char* path, int flags, mode_t mode) {
        if (faults.takenNames > 0) {
            --faults.takenNames;
            return FailWith(EEXIST);
        }
        return faults.openError != 0 ? FailWith(faults.openError) : ::open(path, flags, mode);
    },
    [](int fd, const void* bytes, std::size_t count) -> ssize_t {
        ++faults.writeCalls;
        if (Interrupted(faults.interruptedWrites)) {
            return -1;
        }
        if (faults.writesTakeNothing) {
            return 0;
        }
        if (faults.written == faults.diskSpace) {
            return FailWith(ENOSPC);
        }
        count = std::min({count, faults.bytesPerWrite, faults.diskSpace - faults.written});
        const ssize_t done = ::write(fd, bytes, count);
        faults.written += done > 0 ? static_cast<std::size_t>(done) : 0;
        return done;
    },
    [](int fd) { return Interrupted(faults.interruptedFsyncs) ? -1 : faults.fsyncError != 0 ? FailWith(faults.fsyncError) : ::fsync(fd); },
    [](int fd) {
        const int closed = ::close(fd);
        return faults.closeError != 0 ? FailWith(faults.closeError) : closed;
    },
    [](const char* from, const char* to) {
        return faults.renameError != 0 ? FailWith(faults.renameError) : std::rename(from, to);
    },
};

class AtomicFileFaultTest : public AtomicFileTest {
protected:
    AtomicFileFaultTest() { faults = FaultPlan{}; }
};

TEST_F(AtomicFileFaultTest, ShortWritesAndInterruptedCallsAreCarriedOnToTheWholeFile)
{
    const auto file = dir / "settings.cfg";
    const std::string content(1000, 'x');
    faults.bytesPerWrite = 7;
    faults.interruptedWrites = 5;
    faults.interruptedFsyncs = 2;

    EXPECT_EQ(WriteFileAtomically(file, content, FaultyCalls).failure, "");

    EXPECT_EQ(ReadFile(file), content);
    EXPECT_EQ(faults.interruptedFsyncs, 0) << "the interrupted fsyncs were retried";
    EXPECT_GE(faults.writeCalls, 1000 / 7);
    EXPECT_EQ(Entries(), std::vector<std::string>{"settings.cfg"});
}

// Each failure is named with the system's reason, the old file keeps its content and the
// temporary goes.
TEST_F(AtomicFileFaultTest, EachFailureIsExplainedAndLeavesTheOldFileAndNoTemporary)
{
    const auto file = dir / "settings.cfg";
    const std::string name = file.string();
    const struct {
        const char* fault;
        void (*plan)();
        std::string failure;
    } cases[] = {
        {"a full disk mid-write", [] { faults = FaultPlan{}; faults.bytesPerWrite = 4; faults.diskSpace = 10; },
         "cannot write " + name + ": No space left on device"},
        {"a write that takes nothing", [] { faults = FaultPlan{}; faults.writesTakeNothing = true; },
         "cannot write " + name + ": the system took no bytes"},
        {"a failed fsync", [] { faults = FaultPlan{}; faults.fsyncError = EIO; },
         "cannot flush " + name + " to the disk: Input/output error"},
        {"a failed close", [] { faults = FaultPlan{}; faults.closeError = EIO; },
         "cannot close " + name + ": Input/output error"},
        {"a failed rename", [] { faults = FaultPlan{}; faults.renameError = EXDEV; },
         "cannot replace " + name + ": Invalid cross-device link"},
        {"a full disk after an interruption", [] { faults = FaultPlan{}; faults.interruptedWrites = 1; faults.diskSpace = 0; },
         "cannot write " + name + ": No space left on device"},
    };
    for (const auto& test : cases) {
        std::ofstream(file) << "old content";
        test.plan();
        EXPECT_EQ(WriteFileAtomically(file, "new content, longer than the old", FaultyCalls).failure, test.failure)
            << test.fault;
        EXPECT_EQ(ReadFile(file), "old content") << test.fault;
        EXPECT_EQ(Entries(), std::vector<std::string>{"settings.cfg"}) << test.fault;
    }
}

// Only a replace refused for a target in use is worth trying again shortly.
TEST_F(AtomicFileFaultTest, OnlyAReplaceRefusedForATargetInUseSaysSo)
{
    for (const int error : {EBUSY, ETXTBSY, EXDEV, EACCES}) {
        faults.renameError = error;
        EXPECT_EQ(WriteFileAtomically(dir / "a.cfg", "new", FaultyCalls).targetInUse, error != EXDEV && error != EACCES);
    }
}

// A taken name (planted, or a clash of random names) is tried again under a new one, a few
// times; any other failure to create the temporary is reported at once.
TEST_F(AtomicFileFaultTest, ATakenTemporaryNameIsRetriedAFewTimesOtherCreateFailuresAreReported)
{
    const auto file = dir / "settings.cfg";
    const std::string temporaries = "cannot create " + file.string() + ".tmp-";
    std::ofstream(file) << "old content";

    faults.takenNames = 3;
    EXPECT_EQ(WriteFileAtomically(file, "new", FaultyCalls).failure, "");
    EXPECT_EQ(ReadFile(file), "new");

    faults.takenNames = 100;
    std::string failure = WriteFileAtomically(file, "newer", FaultyCalls).failure;
    EXPECT_EQ(failure.rfind(temporaries, 0), 0u) << failure;
    EXPECT_NE(failure.find(": File exists"), std::string::npos) << failure;
    EXPECT_GT(faults.takenNames, 0) << "gave up after a few names";

    faults = FaultPlan{};
    faults.openError = EMFILE;
    failure = WriteFileAtomically(file, "newer", FaultyCalls).failure;
    EXPECT_EQ(failure.rfind(temporaries, 0), 0u) << failure;
    EXPECT_NE(failure.find(": Too many open files"), std::string::npos) << failure;

    EXPECT_EQ(ReadFile(file), "new");
    EXPECT_EQ(Entries(), std::vector<std::string>{"settings.cfg"});
}

// Text is written as the platform's text-mode stream would write it: CR LF on Windows, LF here.
TEST_F(AtomicFileTest, TextLineEndsFollowThePlatformsTextFormat)
{
#ifdef _WIN32
    EXPECT_EQ(SystemFileCalls().textLineEnd, LineEnd::CrLf);
#else
    EXPECT_EQ(SystemFileCalls().textLineEnd, LineEnd::Lf);
#endif
    const std::string text = "a \"1\" //first\nb \"\" //second\n\nno end";
    OsFileCalls crLf = SystemFileCalls();
    crLf.textLineEnd = LineEnd::CrLf;
    OsFileCalls lf = SystemFileCalls();
    lf.textLineEnd = LineEnd::Lf;

    EXPECT_EQ(WriteTextFileAtomically(dir / "windows.cfg", text, crLf).failure, "");
    EXPECT_EQ(ReadFile(dir / "windows.cfg"), "a \"1\" //first\r\nb \"\" //second\r\n\r\nno end");
    EXPECT_EQ(WriteTextFileAtomically(dir / "linux.cfg", text, lf).failure, "");
    EXPECT_EQ(ReadFile(dir / "linux.cfg"), text);
}

}  // namespace
}  // namespace quorvex
