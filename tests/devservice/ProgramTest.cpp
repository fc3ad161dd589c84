// The program itself: started as a process, as scripts and the end-to-end tests start it.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "tests/devservice/Products.h"

extern char** environ;

namespace qvxdev {
namespace {

using nlohmann::json;

// One run of qvx-devservice with its stdout and stderr on pipes. Reads block until the program
// writes or exits; a program that hangs fails the test by its timeout.
class ServiceProcess {
public:
    explicit ServiceProcess(const std::vector<std::string>& arguments)
    {
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        std::vector<std::string> all{QVX_DEVSERVICE_PROGRAM};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = fdopen(out[0], "r");
        err_ = fdopen(err[0], "r");
        if (spawned != 0) {
            pid_ = -1;
            throw std::runtime_error("cannot start " + all[0]);
        }
    }

    ~ServiceProcess()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::fclose(out_);
        std::fclose(err_);
    }

    // The next line of stdout without its line break; empty at the end of output.
    std::string ReadLine() { return Read(out_, true); }

    // Reads stdout up to the listening line and returns the port it names.
    int ReadPort()
    {
        const std::string prefix = "qvx-devservice listening on http://127.0.0.1:";
        for (std::string line = ReadLine(); !line.empty(); line = ReadLine()) {
            if (line.rfind(prefix, 0) == 0) {
                return std::stoi(line.substr(prefix.size()));
            }
        }
        return -1;
    }

    // Sends signal (none: only waits) and returns the exit status; -1 if killed by a signal.
    int Stop(int signal)
    {
        if (signal != 0) {
            kill(pid_, signal);
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string RestOfStdout() { return Read(out_, false); }
    std::string Stderr() { return Read(err_, false); }

private:
    static std::string Read(std::FILE* stream, bool oneLine)
    {
        std::string text;
        for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
            if (oneLine && c == '\n') {
                break;
            }
            text += static_cast<char>(c);
        }
        return text;
    }

    pid_t pid_ = -1;
    std::FILE* out_ = nullptr;
    std::FILE* err_ = nullptr;
};

httplib::Result UploadInventory(int port, const std::string& code, const json& items)
{
    httplib::Client client("127.0.0.1", port);
    return client.Post("/api/v2/inventory/smartSync.php?lastRequest",
                       {{"x-qvx-key", "3f9d1c7a2b8e4f60d5a1c9b7e2f4083a6d1b5c97"},
                        {"x-qvx-version", "1.0.1+225"},
                        {"x-qvx-user-code", code}},
                       items.dump(), "application/json");
}

json State(int port)
{
    return json::parse(httplib::Client("127.0.0.1", port).Get("/dev/state")->body);
}

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() { RemoveDatabase(); }
    ~ProgramTest() override { RemoveDatabase(); }

    void RemoveDatabase()
    {
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::remove((database_ + suffix).c_str());
        }
    }

    const std::string database_ =
        ::testing::TempDir() + "devservice-program-" +
        ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".sqlite";
};

TEST_F(ProgramTest, PrintsItsPortServesAndStopsCleanlyOnSigterm)
{
    ServiceProcess service({"--port", "0", "--user", "CODE-A"});
    const int port = service.ReadPort();
    ASSERT_GT(port, 0);

    const auto upload = UploadInventory(port, "CODE-A", testing::InventoryJson({1}));
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->status, 200) << upload->body;
    EXPECT_EQ(UploadInventory(port, "QVX-DEMO-1234", json::array())->status, 200)
        << "--user adds to the default user codes";

    EXPECT_EQ(service.Stop(SIGTERM), 0);
    const std::string output = service.RestOfStdout();
    EXPECT_NE(output.find("200 POST /api/v2/inventory/smartSync.php?lastRequest (user code CODE-A)"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("qvx-devservice stopped"), std::string::npos) << output;
}

TEST_F(ProgramTest, DatabaseFileKeepsTheDataAcrossARestart)
{
    std::string guid;
    {
        ServiceProcess service({"--port", "0", "--db", database_});
        const int port = service.ReadPort();
        ASSERT_GT(port, 0);
        const auto upload = UploadInventory(port, "QVX-DEMO-1234", testing::InventoryJson({1, 2}));
        ASSERT_TRUE(upload);
        guid = json::parse(upload->body).at("guid");
        EXPECT_EQ(service.Stop(SIGINT), 0);
    }
    ServiceProcess restarted({"--port", "0", "--db", database_, "--user", "OTHER"});
    const int port = restarted.ReadPort();
    ASSERT_GT(port, 0);
    const json accounts = State(port).at("accounts");
    ASSERT_TRUE(accounts.contains("QVX-DEMO-1234")) << "accounts stay known" << accounts.dump();
    EXPECT_EQ(accounts.at("QVX-DEMO-1234").at("guid"), guid);
    EXPECT_EQ(testing::InstanceIds(accounts.at("QVX-DEMO-1234").at("items")),
              (std::vector<std::uint64_t>{1, 2}));
    EXPECT_TRUE(accounts.contains("OTHER"));
    EXPECT_EQ(restarted.Stop(SIGTERM), 0);
}

TEST_F(ProgramTest, FlagsGiveTheirRulesAndPlayers)
{
    ServiceProcess service({"--port", "0", "--fail", "smartSync=503x1", "--scammer", "Steam|9|0"});
    const int port = service.ReadPort();
    ASSERT_GT(port, 0);
    EXPECT_EQ(UploadInventory(port, "QVX-DEMO-1234", json::array())->status, 503);
    EXPECT_EQ(UploadInventory(port, "QVX-DEMO-1234", json::array())->status, 200);
    EXPECT_EQ(State(port).at("players"), (json{{"Steam|9|0", "scammer"}}))
        << "a player flag replaces the default players";
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

TEST_F(ProgramTest, RefusesABadCommandLineWithAReason)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--fail", "smartSync=99"}, "the status must be a number from 200 to 599"},
        {{"--delay", "inventory=5"}, "'inventory' is not an endpoint"},
        {{"--fail", "smartsync=503"}, "'smartsync' is not an endpoint; did you mean smartSync?"},
        {{"--fail", "loadout=500,retryAfter=60"}, "retryAfter goes with 429 or 503, the answers a client waits on"},
        {{"--port", "70000"}, "70000"},
        {{"--user", ""}, "a user code must not be empty"},
        {{"--scammer", "Steam|1|0", "--linked", "Steam|1|0"}, "the player Steam|1|0 is given twice"},
        {{"--random-fault", "smartSync=0.1:teapot"}, "'teapot' is not an outcome"},
        {{"--random-delay", "300-100"}, "a delay is MS or MIN-MAX"},
        {{"--expire-guid-rate", "2"}, "a rate must be a decimal number from 0 to 1"},
        {{"--seed", "-1"}, "a seed is a whole number from 0 to 18446744073709551615"},
    };
    for (const auto& [arguments, reason] : cases) {
        ServiceProcess service(arguments);
        EXPECT_EQ(service.Stop(0), 2) << reason;
        const std::string error = service.Stderr();
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(service.RestOfStdout().find("listening"), std::string::npos);
    }
}

TEST_F(ProgramTest, ASecondCopyOnATakenPortFailsToStart)
{
    ServiceProcess first({"--port", "0"});
    const int port = first.ReadPort();
    ASSERT_GT(port, 0);
    ServiceProcess second({"--port", std::to_string(port)});
    EXPECT_EQ(second.Stop(0), 1);
    EXPECT_NE(second.Stderr().find("cannot listen on 127.0.0.1:" + std::to_string(port)),
              std::string::npos);
    EXPECT_EQ(State(port).at("accounts").size(), 2u) << "the first copy still serves";
    EXPECT_EQ(first.Stop(SIGTERM), 0);
}

TEST_F(ProgramTest, PrintsTheSeedOfItsRandomFaults)
{
    ServiceProcess service({"--port", "0", "--random-fault", "*=0.5:503,drop", "--seed", "12",
                            "--random-delay", "10-20", "--expire-guid-rate", "0.25"});
    ASSERT_GT(service.ReadPort(), 0);
    service.ReadLine();  // user codes
    service.ReadLine();  // database
    const std::string line = service.ReadLine();
    EXPECT_EQ(line.rfind("random faults: seed 12; delays 10-20 ms; smartSync 0.5 of requests: 503, drop;", 0), 0u)
        << line;
    EXPECT_NE(line.find("guid expired after 0.25 of smartSync answers"), std::string::npos) << line;
    EXPECT_EQ(service.Stop(SIGTERM), 0);
}

TEST_F(ProgramTest, ReportsAFileThatIsNotADatabase)
{
    std::FILE* file = std::fopen(database_.c_str(), "w");
    std::fputs("plain text, long enough to be read as a database header by SQLite...........", file);
    std::fclose(file);
    ServiceProcess service({"--port", "0", "--db", database_});
    EXPECT_EQ(service.Stop(0), 1);
    EXPECT_NE(service.Stderr().find("not a database"), std::string::npos);
}

}  // namespace
}  // namespace qvxdev
