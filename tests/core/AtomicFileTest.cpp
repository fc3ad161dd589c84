#include "core/AtomicFile.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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
    EXPECT_EQ(WriteFileAtomically(file, "first, longer content\n"), "");
    EXPECT_EQ(ReadFile(file), "first, longer content\n");

    EXPECT_EQ(WriteFileAtomically(file, std::string("x\0y", 3)), "");
    EXPECT_EQ(ReadFile(file), std::string("x\0y", 3)) << "the old tail must not survive a shorter write";
    EXPECT_EQ(WriteFileAtomically(file, ""), "");
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
    const std::string failure = WriteFileAtomically(blocked, "new");
    EXPECT_EQ(failure.rfind("cannot replace " + blocked.string() + ": ", 0), 0u) << failure;
    EXPECT_TRUE(std::filesystem::is_directory(blocked / "inside"));

    // A file where a parent folder should be.
    const std::string noFolder = WriteFileAtomically(file / "below.cfg", "new");
    EXPECT_EQ(noFolder.rfind("cannot create " + file.string() + ": ", 0), 0u) << noFolder;

    // A folder that cannot take new files: nothing is written, nothing is left.
    const auto readOnly = dir / "read-only";
    std::filesystem::create_directory(readOnly);
    std::ofstream(readOnly / "settings.cfg") << "old";
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::access(readOnly.c_str(), W_OK) != 0) {  // root may write anyway
        const std::string denied = WriteFileAtomically(readOnly / "settings.cfg", "new");
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

    EXPECT_EQ(WriteFileAtomically(file, "new"), "");

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
                EXPECT_EQ(WriteFileAtomically(dir / ("file" + std::to_string(writer)), std::to_string(round)), "");
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(Entries(), (std::vector<std::string>{"file0", "file1", "file2", "file3"}));
    EXPECT_EQ(ReadFile(dir / "file3"), "49");
}

}  // namespace
}  // namespace quorvex
