// Commands that play the service's linking page against the plug-in's local WebSocket server.
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "tools/plexar-sim/LinkingPageClient.h"
#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"

namespace plexarsim {
namespace {

constexpr std::uint16_t PluginLinkingPort = 9100;
constexpr std::chrono::seconds ReplyTimeout{2};

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
                          CheckExpectation(parsed, result);
                      };
                  }});
}

}  // namespace plexarsim
