// Commands that play the service's linking page against the plug-in's local WebSocket server.
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "tools/plexar-sim/LinkingPageClient.h"
#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"

namespace plexarsim {
namespace {

constexpr std::uint16_t PluginLinkingPort = 9100;
constexpr std::chrono::seconds ReplyTimeout{2};

struct WsSendArguments {
    std::string origin;
    std::string text;
};

WsSendArguments ParseWsSend(std::string_view arguments)
{
    constexpr std::string_view OriginOption = "--origin";
    WsSendArguments parsed;
    if (arguments.substr(0, OriginOption.size()) == OriginOption) {
        arguments = Trim(arguments.substr(OriginOption.size()));
        const auto end = arguments.find_first_of(" \t");
        if (arguments.empty() || end == std::string_view::npos) {
            throw std::invalid_argument("expected --origin ORIGIN TEXT");
        }
        parsed.origin = std::string(arguments.substr(0, end));
        arguments = Trim(arguments.substr(end));
    }
    parsed.text = ParseText(arguments);
    return parsed;
}

}  // namespace

void AddLinkingCommands(CommandRegistry& commands)
{
    commands.Add({"ws-send", "[--origin ORIGIN] TEXT",
                  fmt::format("Connects to the plug-in's WebSocket server on 127.0.0.1:{} as the linking page "
                              "(with that Origin header, none by default), sends TEXT, prints the reply or the "
                              "refusal (waiting up to {} s for a reply) and closes.",
                              PluginLinkingPort, ReplyTimeout.count()),
                  [](const std::string& arguments) -> StepAction {
                      const WsSendArguments parsed = ParseWsSend(arguments);
                      return [parsed](Session& session) {
                          const LinkingPageResult result =
                              SendOnce(PluginLinkingPort, parsed.text, parsed.origin, ReplyTimeout);
                          session.out << "ws-send: " << Describe(result) << std::endl;
                          // Let the game thread run what the message handed it (toasts, timers).
                          session.host.RunUntilIdle();
                      };
                  }});
}

}  // namespace plexarsim
