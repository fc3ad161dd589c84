// Commands that play the service's linking page against the plug-in's local WebSocket server.
#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "tools/plexar-sim/LinkingPageClient.h"
#include "ws/Texts.h"
#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"

namespace plexarsim {
namespace {

constexpr std::chrono::seconds ReplyTimeout{2};
constexpr char ServerLinePrefix[] = "Local websocket server: ";

struct WsSendArguments {
    std::string origin;
    std::optional<std::string> expectedReply;
    bool expectNoReply = false;
    std::string text;
};

WsSendArguments ParseWsSend(std::string_view arguments)
{
    WsSendArguments parsed;
    const auto takeValue = [&](const char* option) {
        if (arguments.empty()) {
            throw std::invalid_argument(fmt::format("{} needs a value", option));
        }
        return TakeWord(arguments);
    };
    for (;;) {
        const std::string_view option =
            arguments.substr(0, std::min(arguments.find_first_of(" \t"), arguments.size()));
        if (option == "--origin") {
            arguments = Trim(arguments.substr(option.size()));
            parsed.origin = takeValue("--origin");
        } else if (option == "--expect") {
            arguments = Trim(arguments.substr(option.size()));
            parsed.expectedReply = takeValue("--expect");
        } else if (option == "--expect-none") {
            arguments = Trim(arguments.substr(option.size()));
            parsed.expectNoReply = true;
        } else {
            break;
        }
    }
    if (parsed.expectedReply && parsed.expectNoReply) {
        throw std::invalid_argument("--expect and --expect-none exclude each other");
    }
    if (arguments.empty()) {
        throw std::invalid_argument("expected [--origin ORIGIN] [--expect REPLY | --expect-none] TEXT");
    }
    parsed.text = ParseText(arguments);
    return parsed;
}

const char* OutcomeName(LinkingPageResult::Outcome outcome)
{
    switch (outcome) {
    case LinkingPageResult::Outcome::Replied:
        return "replied";
    case LinkingPageResult::Outcome::NoReply:
        return "no-reply";
    case LinkingPageResult::Outcome::Refused:
        return "refused";
    case LinkingPageResult::Outcome::Failed:
        break;
    }
    return "failed";
}

// Throws when the exchange is not what the scenario expected.
void CheckExpectation(const WsSendArguments& sent, const LinkingPageResult& result)
{
    const bool replied = result.outcome == LinkingPageResult::Outcome::Replied;
    if (sent.expectedReply && !(replied && result.text == *sent.expectedReply)) {
        throw std::runtime_error(
            fmt::format("expected the reply \"{}\", got {}", *sent.expectedReply, Describe(result)));
    }
    if (sent.expectNoReply && result.outcome != LinkingPageResult::Outcome::NoReply) {
        throw std::runtime_error("expected no reply, got " + Describe(result));
    }
}

// Throws unless this session's plug-in saw the exchange: its server logs every connection it
// opens (and every one it refuses) before it answers on it, so a reply or a refusal with no such
// line during the exchange came from another process holding the port.
void CheckReachedThePlugin(const std::vector<std::string>& linesDuring, const LinkingPageResult& result)
{
    using Outcome = LinkingPageResult::Outcome;
    if (result.outcome == Outcome::Failed) {
        return;  // no server answered at all
    }
    const std::string_view sign =
        result.outcome == Outcome::Refused ? std::string_view(ServerLinePrefix) : quorvex::texts::ws::ClientConnectedLine;
    const bool seen = std::any_of(linesDuring.begin(), linesDuring.end(),
                                  [&](const std::string& line) { return line.rfind(sign, 0) == 0; });
    if (!seen) {
        throw std::runtime_error(fmt::format(
            "the exchange did not reach this session's plug-in: {} came, but its WebSocket server logged no "
            "connection during it; another process holds port {}",
            Describe(result), PluginLinkingPort));
    }
}

}  // namespace

void AddLinkingCommands(CommandRegistry& commands)
{
    commands.Add({"ws-send", "[OPTION...] TEXT",
                  fmt::format("Connects to the plug-in's WebSocket server on 127.0.0.1:{} as the linking page, "
                              "sends TEXT and a ping, journals the reply, the refusal or that no reply came (the "
                              "pong came first, or nothing within {} s) and closes. Options: --origin ORIGIN sends that Origin header (none by default); "
                              "--expect REPLY fails the run unless the reply is exactly REPLY; --expect-none "
                              "fails it unless no reply came.",
                              PluginLinkingPort, ReplyTimeout.count()),
                  [](const std::string& arguments) -> StepAction {
                      const WsSendArguments parsed = ParseWsSend(arguments);
                      return [parsed](Session& session) {
                          const std::size_t linesBefore = session.host.ConsoleLines().size();
                          const LinkingPageResult result =
                              SendOnce(PluginLinkingPort, parsed.text, parsed.origin, ReplyTimeout);
                          session.host.Record(sim::JournalEntry::Kind::WebSocket, "ws-send: " + Describe(result),
                                              std::make_shared<const nlohmann::json>(nlohmann::json{
                                                  {"message", parsed.text},
                                                  {"origin", parsed.origin},
                                                  {"outcome", OutcomeName(result.outcome)},
                                                  {"text", result.text},
                                              }));
                          // Let the game thread run what the message handed it (toasts, timers).
                          session.host.RunUntilIdle();
                          auto lines = session.host.ConsoleLines();
                          lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(linesBefore));
                          CheckReachedThePlugin(lines, result);
                          CheckExpectation(parsed, result);
                      };
                  },
                  CommandDefinition::Completes::Nothing, true});
}

}  // namespace plexarsim
