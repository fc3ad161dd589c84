// Assertions on what the host saw so far: console lines, toasts, requests and their answers,
// modals. A failed one stops the run (exit status 1) saying what it expected and showing the
// nearest candidates, the last few entries of that kind.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/commands/Commands.h"

namespace plexarsim {
namespace {

// How many candidates a failure shows, and how much of each.
constexpr std::size_t CandidatesShown = 5;
constexpr std::size_t CandidateLength = 200;

std::string Shortened(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    if (text.size() > CandidateLength) {
        text = text.substr(0, CandidateLength) + "...";
    }
    return text;
}

// "\n  the last 3 toasts:\n    ..." for the end of `items`, or "\n  no toasts so far".
std::string LastFew(const std::vector<std::string>& items, const char* what)
{
    if (items.empty()) {
        return fmt::format("\n  no {} so far", what);
    }
    const std::size_t shown = std::min(items.size(), CandidatesShown);
    std::string text = fmt::format("\n  the last {} of {} {} (oldest first):", shown, items.size(), what);
    for (std::size_t i = items.size() - shown; i < items.size(); ++i) {
        text += "\n    " + Shortened(items[i]);
    }
    return text;
}

// Every item of `items` that matches, as the failure of an expect-no-... shows it.
std::string Offending(const std::vector<std::string>& items, const std::function<bool(const std::string&)>& matches,
                      const char* what)
{
    std::vector<std::string> found;
    std::copy_if(items.begin(), items.end(), std::back_inserter(found), matches);
    return LastFew(found, what);
}

std::vector<std::string> ToastTexts(const sim::Host& host)
{
    std::vector<std::string> texts;
    for (const auto& toast : host.Toasts()) {
        texts.push_back(toast.text);
    }
    return texts;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string EffectiveVerb(const sim::HttpExchange& exchange)
{
    return exchange.verb.empty() ? "POST" : exchange.verb;
}

// "POST https://api.quorvex.com/api/v2/x.php?a=1 -> 200"
std::string DescribeExchange(const sim::HttpExchange& exchange)
{
    return fmt::format("{} {} -> {}", EffectiveVerb(exchange), exchange.url,
                       exchange.status == 0 ? "0 (no answer)" : std::to_string(exchange.status));
}

struct RequestPattern {
    std::string verb;  // empty: any
    std::string path;  // the URL path starts with it
    int status = -1;   // -1: any

    bool Matches(const sim::HttpExchange& exchange) const
    {
        return UrlPath(exchange.url).rfind(path, 0) == 0 && (verb.empty() || EffectiveVerb(exchange) == verb) &&
               (status < 0 || exchange.status == status);
    }

    std::string Describe() const
    {
        std::string text = verb.empty() ? path : verb + " " + path;
        return status < 0 ? text : fmt::format("{} answered {}", text, status);
    }
};

int ReadNumber(const std::string& word, int low, int high, const char* what)
{
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < low || value > high) {
        throw std::invalid_argument(fmt::format("expected {} from {} to {}, got '{}'", what, low, high, word));
    }
    return value;
}

bool IsVerb(const std::string& word)
{
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// [VERB] PATH [STATUS]
RequestPattern ParseRequestPattern(std::string_view text)
{
    RequestPattern pattern;
    std::string word = TakeWord(text);
    if (word.front() != '/') {
        if (!IsVerb(word)) {
            throw std::invalid_argument(fmt::format("expected [VERB] PATH [STATUS], VERB in capitals, got '{}'", word));
        }
        pattern.verb = word;
        word = text.empty() ? std::string() : TakeWord(text);
    }
    if (word.empty() || word.front() != '/') {
        throw std::invalid_argument("expected [VERB] PATH [STATUS], PATH starting with '/'");
    }
    pattern.path = word;
    if (!text.empty()) {
        // 0: the request got no answer.
        pattern.status = ReadNumber(TakeWord(text), 0, 599, "an HTTP status");
    }
    ExpectNoArguments(text);
    return pattern;
}

// The requests sent so far, once each has been answered (or has run into its time-out).
std::vector<sim::HttpExchange> AnsweredRequests(sim::Host& host)
{
    host.WaitForHttpIdle();
    return host.HttpExchanges();
}

std::vector<std::string> Described(const std::vector<sim::HttpExchange>& exchanges)
{
    std::vector<std::string> lines;
    for (const auto& exchange : exchanges) {
        lines.push_back(DescribeExchange(exchange));
    }
    return lines;
}

using Check = std::function<void(Session& session, const std::string& text)>;

// A command whose argument is one TEXT.
void AddTextAssertion(CommandRegistry& commands, const char* name, const char* usage, const char* summary,
                      Check check)
{
    commands.Add({name, usage, summary, [check](const std::string& arguments) -> StepAction {
                      std::string text = ParseText(arguments);
                      return [check, text](Session& session) { check(session, text); };
                  }});
}

}  // namespace

void AddExpectCommands(CommandRegistry& commands)
{
    AddTextAssertion(commands, "expect-log", "TEXT",
                     "Fails the run (exit status 1) unless a console line so far contains TEXT (as written, or one "
                     "\"quoted\" text).",
                     [](Session& session, const std::string& text) {
                         if (!session.host.ConsoleContains(text)) {
                             throw std::runtime_error("no console line contains: " + text +
                                                      LastFew(session.host.ConsoleLines(), "console lines"));
                         }
                     });
    AddTextAssertion(commands, "expect-no-log", "TEXT", "Fails the run if a console line so far contains TEXT.",
                     [](Session& session, const std::string& text) {
                         if (session.host.ConsoleContains(text)) {
                             throw std::runtime_error(
                                 "a console line contains: " + text +
                                 Offending(session.host.ConsoleLines(),
                                           [&](const std::string& line) { return Contains(line, text); },
                                           "such lines"));
                         }
                     });
    AddTextAssertion(commands, "expect-toast", "TEXT", "Fails the run unless the text of a toast so far contains TEXT.",
                     [](Session& session, const std::string& text) {
                         const auto toasts = ToastTexts(session.host);
                         if (std::none_of(toasts.begin(), toasts.end(),
                                          [&](const std::string& toast) { return Contains(toast, text); })) {
                             throw std::runtime_error("no toast's text contains: " + text + LastFew(toasts, "toasts"));
                         }
                     });
    AddTextAssertion(commands, "expect-no-toast", "TEXT", "Fails the run if the text of a toast so far contains TEXT.",
                     [](Session& session, const std::string& text) {
                         const auto toasts = ToastTexts(session.host);
                         const auto matches = [&](const std::string& toast) { return Contains(toast, text); };
                         if (std::any_of(toasts.begin(), toasts.end(), matches)) {
                             throw std::runtime_error("a toast's text contains: " + text +
                                                      Offending(toasts, matches, "such toasts"));
                         }
                     });
    AddTextAssertion(commands, "expect-modal", "TITLE",
                     "Fails the run unless the title of a modal shown so far contains TITLE (as written, or one "
                     "\"quoted\" text).",
                     [](Session& session, const std::string& title) {
                         std::vector<std::string> titles;
                         for (const auto& modal : session.host.Modals()) {
                             titles.push_back(modal.title);
                         }
                         if (std::none_of(titles.begin(), titles.end(),
                                          [&](const std::string& shown) { return Contains(shown, title); })) {
                             throw std::runtime_error("no modal's title contains: " + title + LastFew(titles, "modals"));
                         }
                     });
    commands.Add({"expect-request", "[VERB] PATH [STATUS]",
                  "Fails the run unless a request so far went to a URL whose path starts with PATH, with that verb "
                  "(GET, POST, ...) and answered with that status (0: no answer), when given. Requests in flight "
                  "are waited for first.",
                  [](const std::string& arguments) -> StepAction {
                      const RequestPattern pattern = ParseRequestPattern(arguments);
                      return [pattern](Session& session) {
                          const auto requests = AnsweredRequests(session.host);
                          if (std::none_of(requests.begin(), requests.end(),
                                           [&](const sim::HttpExchange& exchange) { return pattern.Matches(exchange); })) {
                              throw std::runtime_error("no request " + pattern.Describe() +
                                                       LastFew(Described(requests), "requests"));
                          }
                      };
                  }});
    commands.Add({"expect-requests", "N [VERB] PATH [STATUS]",
                  "Fails the run unless exactly N requests so far match (as expect-request). Requests in flight are "
                  "waited for first.",
                  [](const std::string& arguments) -> StepAction {
                      std::string_view rest = arguments;
                      const int expected = ReadNumber(TakeWord(rest), 0, 1'000'000, "a count");
                      const RequestPattern pattern = ParseRequestPattern(rest);
                      return [expected, pattern](Session& session) {
                          const auto requests = AnsweredRequests(session.host);
                          const auto count = std::count_if(requests.begin(), requests.end(),
                                                           [&](const sim::HttpExchange& exchange) { return pattern.Matches(exchange); });
                          if (count != expected) {
                              throw std::runtime_error(fmt::format("expected {} requests {}, got {}", expected,
                                                                   pattern.Describe(), count) +
                                                       LastFew(Described(requests), "requests"));
                          }
                      };
                  }});
}

}  // namespace plexarsim
