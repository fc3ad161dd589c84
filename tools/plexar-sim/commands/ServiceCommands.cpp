// Commands that answer the plug-in's requests in-process, in place of the service.
#include <algorithm>
#include <charconv>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"

namespace plexarsim {
namespace {

struct ScriptedAnswer {
    std::string path;
    int status = 0;
    std::string body;
};

ScriptedAnswer ParseAnswer(std::string_view arguments)
{
    const auto pathEnd = arguments.find_first_of(" \t");
    ScriptedAnswer answer;
    answer.path = std::string(arguments.substr(0, pathEnd));
    if (answer.path.empty() || answer.path.front() != '/' || pathEnd == std::string_view::npos) {
        throw std::invalid_argument("expected PATH STATUS [BODY], PATH starting with '/'");
    }
    std::string_view rest = Trim(arguments.substr(pathEnd));
    const auto statusEnd = std::min(rest.find_first_of(" \t"), rest.size());
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + statusEnd, answer.status);
    if (error != std::errc() || end != rest.data() + statusEnd || answer.status < 100 || answer.status > 599) {
        throw std::invalid_argument(fmt::format("expected an HTTP status from 100 to 599, got '{}'", rest.substr(0, statusEnd)));
    }
    rest = Trim(rest.substr(statusEnd));
    answer.body = rest.empty() ? std::string() : ParseText(rest);
    return answer;
}

// The answers scripted so far, by path. Read by the host's HTTP thread, written by the game thread.
class AnswerTable {
public:
    void Set(const ScriptedAnswer& answer)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_[answer.path] = answer;
    }

    sim::ScriptedResponse Answer(const CurlRequest& request) const
    {
        const std::string path = UrlPath(request.url);
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = answers_.find(path);
        if (found == answers_.end()) {
            return {0, "plexar-sim: no answer scripted for " + path, {}};
        }
        return {found->second.status, found->second.body, {}};
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, ScriptedAnswer> answers_;
};

}  // namespace

void AddServiceCommands(CommandRegistry& commands)
{
    // Shared by every `respond` step of the scenario.
    auto table = std::make_shared<AnswerTable>();
    commands.Add({"respond", "PATH STATUS [BODY]",
                  "From now on answers requests to that URL path (\"/api/v2/system/validateTrader.php\") in-process "
                  "with STATUS and BODY (as written, or one \"quoted\" text). Once any answer is scripted, no "
                  "request reaches the network: one to a path without an answer gets status 0.",
                  [table](const std::string& arguments) -> StepAction {
                      const ScriptedAnswer answer = ParseAnswer(arguments);
                      return [table, answer](Session& session) {
                          table->Set(answer);
                          session.host.SetResponder(
                              [table](const CurlRequest& request) { return table->Answer(request); });
                      };
                  }});
}

}  // namespace plexarsim
