// qvx-devservice: a local stand-in of the Quorvex web service for running and testing the
// plug-in on one machine. See README.md beside this file.
//
// Threads: the main thread parses the command line, binds the port, prints the listening line
// and then waits for SIGINT or SIGTERM (blocked in every thread, taken with sigwait); one
// thread runs the HTTP server, whose worker pool serves the requests. Console lines come from
// the workers through one mutex.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <random>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "tools/qvx-devservice/ApiHandlers.h"
#include "tools/qvx-devservice/FaultInjector.h"
#include "tools/qvx-devservice/HttpRouter.h"
#include "tools/qvx-devservice/Store.h"

namespace {

using namespace qvxdev;

constexpr int ExitStopped = 0;
constexpr int ExitFailed = 1;
constexpr int ExitBadCommandLine = 2;

const std::vector<std::string> DefaultUsers{"QVX-DEMO-1234", "QVX-TEST-5678"};
const std::vector<std::string> DefaultScammers{"Steam|76561190000000666|0"};
const std::vector<std::string> DefaultBanned{"Steam|76561190000000451|0"};
const std::vector<std::string> DefaultLinked{"Steam|76561190000000200|0"};

struct CommandLine {
    int port = 8080;
    std::string database;
    std::vector<std::string> users;
    std::vector<std::string> scammers;
    std::vector<std::string> banned;
    std::vector<std::string> linked;
    std::vector<std::string> faults;
    std::vector<std::string> delays;
    std::vector<std::string> randomFaults;
    std::string randomDelay;
    std::string expireGuidRate;
    std::string seed;
};

std::string Joined(const std::vector<std::string>& texts)
{
    return fmt::format("{}", fmt::join(texts, ", "));
}

// A check for CLI11 that runs one of the rule parsers and gives its message.
template <typename Parse>
CLI::Validator RuleValidator(Parse parse)
{
    return CLI::Validator(
        [parse](std::string& text) -> std::string {
            try {
                parse(text);
                return {};
            } catch (const std::invalid_argument& error) {
                return error.what();
            }
        },
        "");
}

const CLI::Validator UserCodeText(
    [](std::string& code) -> std::string {
        for (const char c : code) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                return "a user code must not hold control characters";
            }
        }
        return code.empty() ? "a user code must not be empty" : "";
    },
    "");

void DefineFlags(CLI::App& app, CommandLine& line)
{
    app.add_option("--port", line.port,
                   "The port to listen on at 127.0.0.1; 0 picks a free one (default: 8080)")
        ->check(CLI::Range(0, 65535))
        ->type_name("PORT");
    app.add_option("--db", line.database,
                   "Keep the data in this SQLite file, created when missing and kept across "
                   "restarts (default: in memory, gone when the service stops)")
        ->type_name("FILE");
    app.add_option("--user", line.users,
                   fmt::format("A user code the service knows besides the default ones ({}); "
                               "repeatable",
                               Joined(DefaultUsers)))
        ->check(UserCodeText)
        ->type_name("CODE");
    const std::string playersNote =
        "; repeatable; any of --scammer, --banned, --linked replaces the default players";
    app.add_option("--scammer", line.scammers,
                   fmt::format("A player id banned for scamming: validateTrader answers 423{} "
                               "(default scammer: {})",
                               playersNote, Joined(DefaultScammers)))
        ->type_name("ID");
    app.add_option("--banned", line.banned,
                   fmt::format("A player id banned for breaking the terms: validateTrader answers "
                               "451 (default: {})",
                               Joined(DefaultBanned)))
        ->type_name("ID");
    app.add_option("--linked", line.linked,
                   fmt::format("A player id linked to a Quorvex account in good standing: "
                               "validateTrader answers 200 (default: {}). Others get 202",
                               Joined(DefaultLinked)))
        ->type_name("ID");
    app.add_option("--fail", line.faults,
                   fmt::format("Make ENDPOINT answer STATUS ({}-{}) instead of serving it, for "
                               "the next COUNT requests or, without xCOUNT, for all; a 429 or 503 "
                               "with retryAfter asks the client to wait SECONDS (at most {}); "
                               "repeatable; ENDPOINT is one of {}",
                               MinFaultStatus, MaxFaultStatus, MaxRetryAfterSeconds, EndpointNames()))
        ->check(RuleValidator(ParseFaultRule))
        ->type_name(std::string(FaultRuleForm));
    app.add_option("--delay", line.delays,
                   fmt::format("Make ENDPOINT wait MS milliseconds (at most {}) before answering; "
                               "repeatable",
                               MaxDelay.count()))
        ->check(RuleValidator(ParseDelayRule))
        ->type_name("ENDPOINT=MS");
    app.add_option("--random-fault", line.randomFaults,
                   "Fail a share RATE (0 to 1) of ENDPOINT's requests (ENDPOINT * for all) with "
                   "one of the OUTCOMEs, chosen evenly: a status (200-599), drop (no answer, not "
                   "served), lose (served, answer lost) or delay (served after --random-delay); "
                   "repeatable, a later rule for an endpoint replaces an earlier one")
        ->check(RuleValidator(ParseRandomFaultRule))
        ->type_name("ENDPOINT=RATE:OUTCOME[,OUTCOME...]");
    app.add_option("--random-delay", line.randomDelay,
                   fmt::format("The delay of the random 'delay' outcome, drawn from MIN to MAX "
                               "milliseconds (at most {}; default: 500-2000)",
                               MaxDelay.count()))
        ->check(RuleValidator(ParseDelayRange))
        ->type_name("MS|MIN-MAX");
    app.add_option("--expire-guid-rate", line.expireGuidRate,
                   "After this share (0 to 1) of the smartSync requests answered 200, give the "
                   "account a new guid, so that the client's next diff is answered \"full\": true "
                   "(default: 0)")
        ->check(RuleValidator(ParseRate))
        ->type_name("RATE");
    app.add_option("--seed", line.seed,
                   "Seed of the random faults; the same seed and the same requests give the same "
                   "faults (default: a random seed, printed at start)")
        ->check(RuleValidator(ParseSeed))
        ->type_name("N");
}

// The fault rules of the command line, already checked by the flags' validators.
FaultPlan Faults(const CommandLine& line)
{
    FaultPlan plan;
    for (const std::string& rule : line.faults) {
        plan.faults.push_back(ParseFaultRule(rule));
    }
    for (const std::string& rule : line.delays) {
        plan.delays.push_back(ParseDelayRule(rule));
    }
    for (const std::string& text : line.randomFaults) {
        for (const auto& [endpoint, rule] : ParseRandomFaultRule(text)) {
            plan.random.rules[endpoint] = rule;
        }
    }
    if (!line.randomDelay.empty()) {
        plan.random.delay = ParseDelayRange(line.randomDelay);
    }
    if (!line.expireGuidRate.empty()) {
        plan.random.expireGuidRate = ParseRate(line.expireGuidRate);
    }
    std::random_device random;
    plan.random.seed = line.seed.empty()
                           ? (static_cast<std::uint64_t>(random()) << 32) | random()
                           : ParseSeed(line.seed);
    return plan;
}

// "random faults: seed 7; smartSync 0.1 of requests: 500, drop; ..." or "random faults: none".
std::string RandomFaultsLine(const RandomFaultPlan& plan)
{
    std::vector<std::string> parts;
    for (const auto& [endpoint, rule] : plan.rules) {
        std::vector<std::string> outcomes;
        for (const RandomOutcome& outcome : rule.outcomes) {
            outcomes.push_back(OutcomeName(outcome));
        }
        parts.push_back(fmt::format("{} {} of requests: {}", Describe(endpoint).name, rule.rate,
                                    Joined(outcomes)));
    }
    if (plan.expireGuidRate > 0) {
        parts.push_back(fmt::format("guid expired after {} of smartSync answers", plan.expireGuidRate));
    }
    if (parts.empty()) {
        return fmt::format("random faults: none (seed {})", plan.seed);
    }
    return fmt::format("random faults: seed {}; delays {}-{} ms; {}", plan.seed,
                       plan.delay.min.count(), plan.delay.max.count(), fmt::join(parts, "; "));
}

// The player table from the flags, or the defaults when none was given. Throws
// std::invalid_argument for an id given twice.
PlayerTable Players(const CommandLine& line)
{
    const bool defaults = line.scammers.empty() && line.banned.empty() && line.linked.empty();
    const std::vector<std::pair<const std::vector<std::string>&, Standing>> groups{
        {defaults ? DefaultScammers : line.scammers, Standing::Scammer},
        {defaults ? DefaultBanned : line.banned, Standing::BannedForTerms},
        {defaults ? DefaultLinked : line.linked, Standing::Linked},
    };
    PlayerTable players;
    for (const auto& [ids, standing] : groups) {
        for (const std::string& id : ids) {
            if (!players.emplace(id, standing).second) {
                throw std::invalid_argument(fmt::format("the player {} is given twice", id));
            }
        }
    }
    return players;
}

void PrintLine(const std::string& line)
{
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    fmt::print("{}\n", line);
    std::fflush(stdout);
}

int Run(const CommandLine& line, const PlayerTable& players, const sigset_t& stopSignals)
{
    Store store(line.database.empty() ? ":memory:" : line.database);
    // --user adds to the default codes, so the demo's code keeps working beside one's own.
    std::vector<std::string> users = DefaultUsers;
    for (const std::string& code : line.users) {
        if (std::find(users.begin(), users.end(), code) == users.end()) {
            users.push_back(code);
        }
    }
    for (const std::string& code : users) {
        store.AddAccount(code);
    }
    const FaultPlan plan = Faults(line);
    FaultInjector faults(plan);
    ApiHandlers handlers(store, players);
    HttpRouter router(handlers, store, faults, PrintLine);
    const int port = router.Bind(line.port);

    std::atomic<bool> stopRequested{false};
    std::atomic<bool> serverFailed{false};
    std::thread serving([&] {
        router.Serve();
        if (!stopRequested) {
            serverFailed = true;
            kill(getpid(), SIGTERM);  // wakes the main thread's sigwait
        }
    });
    PrintLine(fmt::format("qvx-devservice listening on http://127.0.0.1:{}", port));
    PrintLine(fmt::format("user codes: {}", Joined(users)));
    PrintLine(fmt::format("database: {}", line.database.empty() ? "in memory" : line.database));
    PrintLine(RandomFaultsLine(plan.random));

    int received = 0;
    sigwait(&stopSignals, &received);
    stopRequested = true;
    router.Stop();
    serving.join();
    if (serverFailed) {
        fmt::print(stderr, "qvx-devservice: the HTTP server stopped by itself\n");
        return ExitFailed;
    }
    PrintLine(fmt::format("qvx-devservice stopped ({})", strsignal(received)));
    return ExitStopped;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app("qvx-devservice: a local stand-in of the Quorvex web service API on 127.0.0.1",
                 "qvx-devservice");
    CommandLine line;
    DefineFlags(app, line);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? ExitStopped : ExitBadCommandLine;
    }

    PlayerTable players;
    try {
        players = Players(line);
    } catch (const std::invalid_argument& error) {
        fmt::print(stderr, "qvx-devservice: {}\n", error.what());
        return ExitBadCommandLine;
    }

    // SIGINT and SIGTERM are blocked before any thread starts, so that every thread inherits
    // the mask and only the main thread's sigwait takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    try {
        return Run(line, players, stopSignals);
    } catch (const std::exception& error) {
        fmt::print(stderr, "qvx-devservice: {}\n", error.what());
        return ExitFailed;
    }
}
