#include "api/UserCode.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <vector>

#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "tests/support/HeldFileCalls.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

using testing::ReadTextFile;

class UserCodeTest : public ::testing::Test {
protected:
    UserCodeTest()
    {
        dispatcher->AddEventListener<UserCodeChanged>(EventType::UserCodeChanged, [this](const UserCodeChanged& change) {
            changes.push_back(change.previous + " -> " + change.current);
        });
    }

    void SaveCode(const std::string& code)
    {
        std::filesystem::create_directories(host.cfgFile().parent_path());
        std::ofstream(host.cfgFile()) << "hidden_qvx_user_code \"" << code << "\" //User code for QVX\n";
    }

    std::string Cvar() { return host->CvarManager()->getCvar(UserCode::Cvar).getStringValue(); }
    bool FileHolds(const std::string& code)
    {
        return ReadTextFile(host.cfgFile()).find("hidden_qvx_user_code \"" + code + "\"") != std::string::npos;
    }

    testing::TestHost host;
    std::shared_ptr<PersistentStorage> store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true);
    std::shared_ptr<PluginEventDispatcher> dispatcher = std::make_shared<PluginEventDispatcher>();
    std::vector<std::string> changes;  // the events, on this thread
    std::shared_ptr<UserCode> userCode = UserCode::Create(store, dispatcher);
};

TEST_F(UserCodeTest, EverySourceIsTakenOnceAndTheConsoleShowsOnlyTheCodesEnd)
{
    SaveCode("QVX-FILE-0001");
    host->RunFor(sim::Seconds(0.1));
    host->ExecuteConsole("hidden_qvx_user_code QVX-TYPED-0002");
    EXPECT_EQ(userCode->Offer("QVX-PAGE-0003").outcome, UserCode::Outcome::Changed);
    EXPECT_EQ(userCode->Offer("QVX-PAGE-0003").outcome, UserCode::Outcome::Unchanged);
    host->ExecuteConsole("hidden_qvx_user_code QVX-PAGE-0003");

    EXPECT_EQ(changes, (std::vector<std::string>{" -> QVX-FILE-0001", "QVX-FILE-0001 -> QVX-TYPED-0002",
                                                 "QVX-TYPED-0002 -> QVX-PAGE-0003"}));
    EXPECT_EQ(userCode->Get(), "QVX-PAGE-0003");
    EXPECT_EQ(Cvar(), "QVX-PAGE-0003");
    EXPECT_TRUE(FileHolds("QVX-PAGE-0003"));
    EXPECT_TRUE(host->ConsoleContains("new user code set: \u20260002 -> \u20260003"));
    for (const std::string& line : host->ConsoleLines()) {
        EXPECT_EQ(line.find("QVX-"), std::string::npos) << line;
    }
    EXPECT_EQ(UserCode::Shown("abc"), "\u2026c");
    EXPECT_EQ(UserCode::Shown(""), "");
}

// Whatever the source, a refused code leaves the code, the cvar and the file as they were, and
// tells no one but the console.
TEST_F(UserCodeTest, ARefusedCodeChangesNothing)
{
    SaveCode("a b");
    host->RunFor(sim::Seconds(0.1));
    EXPECT_TRUE(userCode->IsEmpty());
    EXPECT_EQ(host.CountConsoleLines("Refused the user code: it holds the byte 0x20"), 1);

    host->ExecuteConsole("hidden_qvx_user_code good");
    const std::string saved = ReadTextFile(host.cfgFile());
    const int refusalsBefore = host.CountConsoleLines("Refused the user code: ");
    for (const std::string& typed : {std::string("\"two words\""), std::string("\"back\\slash\""),
                                     std::string("\"esc\x1b[2J\""), std::string(129, 'a')}) {
        host->ExecuteConsole("hidden_qvx_user_code " + typed);
        EXPECT_EQ(Cvar(), "good") << typed;
    }
    EXPECT_EQ(userCode->Offer("\"quoted\"").outcome, UserCode::Outcome::Refused);
    EXPECT_EQ(host.CountConsoleLines("Refused the user code: ") - refusalsBefore, 5);
    EXPECT_EQ(userCode->Get(), "good");
    EXPECT_EQ(changes, std::vector<std::string>{" -> good"});
    EXPECT_EQ(ReadTextFile(host.cfgFile()), saved);
    EXPECT_EQ(host.CountConsoleLines("new user code set: "), 1);
}

// The linking server listens before the settings load: a code the page (or the player) set in
// that time is the newer one, and the file gets it when the load ends.
class UserCodeBeforeLoadTest : public UserCodeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UserCodeBeforeLoadTest, WinsOverTheFile)
{
    SaveCode("OLDCODE1");
    host->RunFor(sim::Seconds(0.02));
    if (GetParam()) {
        EXPECT_EQ(userCode->Offer("NEWCODE2").outcome, UserCode::Outcome::Changed);
    } else {
        host->ExecuteConsole("hidden_qvx_user_code NEWCODE2");
    }
    host->RunFor(sim::Seconds(0.1));

    EXPECT_EQ(userCode->Get(), "NEWCODE2");
    EXPECT_EQ(Cvar(), "NEWCODE2");
    EXPECT_TRUE(FileHolds("NEWCODE2"));
    EXPECT_EQ(host.CountConsoleLines("Kept the user code \u2026ODE2 set since start; the settings file's \u2026ODE1 is not used"),
              1);
    EXPECT_EQ(changes, std::vector<std::string>{" -> NEWCODE2"});
}

INSTANTIATE_TEST_SUITE_P(FromThePageOrTheConsole, UserCodeBeforeLoadTest, ::testing::Bool());

TEST_F(UserCodeTest, TwoChangesRacingLeaveTheLaterOneInUseAndInTheFile)
{
    host->RunFor(sim::Seconds(0.1));
    for (int round = 0; round < 100; ++round) {
        std::thread page([&] { userCode->Offer("PAGE-" + std::to_string(round)); });
        host->ExecuteConsole("hidden_qvx_user_code TYPED-" + std::to_string(round));
        page.join();
        const std::string current = userCode->Get();
        ASSERT_EQ(Cvar(), current) << round;
        ASSERT_TRUE(FileHolds(current)) << round;
    }
}

// The host keeps its cvars when the plug-in is deleted and loaded again: requests made before the
// settings load (a trade log sent again at load) already carry the code.
TEST_F(UserCodeTest, ALoadAgainInTheSameGameStartsWithTheCodeTheHostKept)
{
    host->RunFor(sim::Seconds(0.1));
    host->ExecuteConsole("hidden_qvx_user_code QVX-KEPT-0001");
    userCode.reset();
    EXPECT_EQ(UserCode::Create(store, dispatcher)->Get(), "QVX-KEPT-0001");
}

TEST_F(UserCodeTest, ACodeThatCannotBeSavedIsStillUsedAndSaysWhy)
{
    // A file where the cfg folder should be: no write can succeed, whoever runs the test.
    std::filesystem::remove_all(host.cfgFile().parent_path());
    std::ofstream(host.cfgFile().parent_path()) << "not a folder";
    host->RunFor(sim::Seconds(0.1));

    const UserCode::Offered offered = userCode->Offer("QVX-DEMO-1234");
    EXPECT_EQ(offered.outcome, UserCode::Outcome::Changed);
    EXPECT_FALSE(offered.saveFailure.empty());
    EXPECT_EQ(userCode->Get(), "QVX-DEMO-1234");
    EXPECT_EQ(host.CountConsoleLines("PersistentStorage: Failed to write the settings file: "), 1);
}

// A save waiting for a held settings file is not reported as saved: `saved` hears how it ended.
TEST_F(UserCodeTest, ASaveWaitingForAHeldFileIsReportedOnlyWhenItEnds)
{
    store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true, testing::HeldFileCalls());
    userCode = UserCode::Create(store, dispatcher);
    host->RunFor(sim::Seconds(0.1));
    std::vector<UserCode::Offered> saved;
    testing::HeldTarget::refusals = testing::HeldTarget::ForGood;
    EXPECT_TRUE(userCode->Offer("QVX-DEMO-5678", [&](const UserCode::Offered& end) { saved.push_back(end); }).savePending);
    EXPECT_TRUE(saved.empty());
    host->RunFor(sim::Seconds(2));
    testing::HeldTarget::refusals = 0;
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_NE(saved[0].saveFailure.find("in use"), std::string::npos) << saved[0].saveFailure;
    EXPECT_EQ(userCode->Get(), "QVX-DEMO-5678") << "used for this session";
}

}  // namespace
}  // namespace quorvex
