#include "core/AtomicFile.h"

#include <algorithm>
#include <fstream>
#include <string>
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

    // The temporary's name is taken by a folder: the write cannot start, and the folder stays.
    std::filesystem::create_directory(dir / "settings.cfg.tmp");
    EXPECT_EQ(WriteFileAtomically(file, "new"), "cannot open " + (dir / "settings.cfg.tmp").string() + ": Is a directory");
    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "settings.cfg.tmp"));
    std::filesystem::remove(dir / "settings.cfg.tmp");

    // A non-empty folder in the target's place: the written temporary cannot replace it and goes.
    const auto blocked = dir / "blocked";
    std::filesystem::create_directories(blocked / "inside");
    const std::string failure = WriteFileAtomically(blocked, "new");
    EXPECT_EQ(failure.rfind("cannot replace " + blocked.string() + ": ", 0), 0u) << failure;
    EXPECT_TRUE(std::filesystem::is_directory(blocked / "inside"));

    // A file where a parent folder should be.
    const std::string noFolder = WriteFileAtomically(file / "below.cfg", "new");
    EXPECT_EQ(noFolder.rfind("cannot create " + file.string() + ": ", 0), 0u) << noFolder;

    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"blocked", "settings.cfg"}));
}

}  // namespace
}  // namespace quorvex
