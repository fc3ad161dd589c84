// Assertions on what the host saw so far: console lines, toasts, requests and their answers,
// modals. A failed one stops the run (exit status 1) saying what it expected and showing the
// nearest candidates, the last few entries of that kind.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

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

// The query of a URL, after '?' and before any '#'; nothing when it has no '?'.
std::optional<std::string> UrlQuery(const std::string& url)
{
    const auto mark = url.find('?');
    if (mark == std::string::npos) {
        return std::nullopt;
    }
    return url.substr(mark + 1, url.find('#', mark) - mark - 1);
}

struct RequestPattern {
    std::string verb;                  // empty: any
    std::string path;                  // the URL path starts with it
    std::optional<std::string> query;  // the URL's query starts with it; nothing: any query
    int status = -1;                   // -1: any

    bool Matches(const sim::HttpExchange& exchange) const
    {
        const auto sentQuery = UrlQuery(exchange.url);
        return UrlPath(exchange.url).rfind(path, 0) == 0 &&
               (!query || (sentQuery && sentQuery->rfind(*query, 0) == 0)) &&
               (verb.empty() || EffectiveVerb(exchange) == verb) && (status < 0 || exchange.status == status);
    }

    // What is compared, in words: "POST, path starting /x.php, query starting a=, answered 200".
    std::string Describe() const
    {
        std::vector<std::string> parts{verb.empty() ? "any verb" : verb, "path starting " + path,
                                       query ? "query starting " + *query : "any query"};
        parts.push_back(status < 0 ? "any status" : fmt::format("answered {}", status));
        return fmt::format("{}", fmt::join(parts, ", "));
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
    const auto queryMark = word.find('?');
    pattern.path = word.substr(0, queryMark);
    if (queryMark != std::string::npos) {
        pattern.query = word.substr(queryMark + 1);
    }
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

// "--since NAME" at the start of an assertion's arguments: the mark's name, taken off the text;
// empty without one.
std::string TakeSince(std::string_view& text)
{
    constexpr std::string_view Option = "--since";
    if (text.substr(0, Option.size()) != Option ||
        (text.size() > Option.size() && text[Option.size()] != ' ' && text[Option.size()] != '\t')) {
        return {};
    }
    text = Trim(text.substr(Option.size()));
    if (text.empty()) {
        throw std::invalid_argument("--since needs the name of a mark");
    }
    return TakeWord(text);
}

// What the host saw before the mark (nothing without one), which the assertion skips.
JournalMark SkippedBefore(const Session& session, const std::string& mark)
{
    if (mark.empty()) {
        return {};
    }
    const auto found = session.marks.find(mark);
    if (found == session.marks.end()) {
        throw std::runtime_error(fmt::format("no `mark {}` was played before this line", mark));
    }
    return found->second;
}

template <typename Item>
std::vector<Item> After(std::vector<Item> items, std::size_t skipped)
{
    items.erase(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(std::min(skipped, items.size())));
    return items;
}

// " since the mark M" for messages; empty without a mark.
std::string SinceText(const std::string& mark)
{
    return mark.empty() ? std::string() : " since the mark " + mark;
}

// A text assertion's view of the host: the texts it looks at (after the mark, when given).
using Texts = std::function<std::vector<std::string>(Session& session, const JournalMark& skipped)>;
using Check = std::function<void(const std::vector<std::string>& texts, const std::string& text,
                                 const std::string& since)>;

// A command whose argument is [--since MARK] TEXT.
void AddTextAssertion(CommandRegistry& commands, const char* name, const char* usage, const char* summary,
                      Texts texts, Check check)
{
    commands.Add({name, fmt::format("[--since MARK] {}", usage), summary,
                  [texts, check](const std::string& arguments) -> StepAction {
                      std::string_view rest = arguments;
                      std::string mark = TakeSince(rest);
                      std::string text = ParseText(rest);
                      return [texts, check, text, mark](Session& session) {
                          check(texts(session, SkippedBefore(session, mark)), text, SinceText(mark));
                      };
                  },
                  CommandDefinition::Completes::Nothing, true});
}

bool AnyContains(const std::vector<std::string>& texts, const std::string& part)
{
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& text) { return Contains(text, part); });
}

// Throws unless some text contains `part`.
void ExpectSome(const std::vector<std::string>& texts, const std::string& part, const std::string& since,
                const char* none, const char* what)
{
    if (!AnyContains(texts, part)) {
        throw std::runtime_error(fmt::format("{}{}: {}", none, since, part) + LastFew(texts, what));
    }
}

// Throws if some text contains `part`.
void ExpectNone(const std::vector<std::string>& texts, const std::string& part, const std::string& since,
                const char* found, const char* what)
{
    if (AnyContains(texts, part)) {
        throw std::runtime_error(
            fmt::format("{}{}: {}", found, since, part) +
            Offending(texts, [&](const std::string& text) { return Contains(text, part); }, what));
    }
}

}  // namespace

void AddExpectCommands(CommandRegistry& commands)
{
    const Texts consoleLines = [](Session& session, const JournalMark& skipped) {
        return After(session.host.ConsoleLines(), skipped.consoleLines);
    };
    const Texts toasts = [](Session& session, const JournalMark& skipped) {
        return After(ToastTexts(session.host), skipped.toasts);
    };
    commands.Add({"mark", "NAME",
                  "Marks this moment: an expect-... --since NAME looks only at what the host saw after it.",
                  [](const std::string& arguments) -> StepAction {
                      std::string_view rest = arguments;
                      if (rest.empty()) {
                          throw std::invalid_argument("expected a NAME");
                      }
                      const std::string name = TakeWord(rest);
                      ExpectNoArguments(rest);
                      return [name](Session& session) {
                          const sim::Host& host = session.host;
                          session.marks[name] = {host.ConsoleLines().size(), host.Toasts().size(),
                                                 host.Modals().size(), host.HttpExchanges().size()};
                          session.host.Record(sim::JournalEntry::Kind::Mark, "mark: " + name,
                                              std::make_shared<const nlohmann::json>(nlohmann::json{{"name", name}}));
                      };
                  }});
    AddTextAssertion(commands, "expect-log", "TEXT",
                     "Fails the run (exit status 1) unless a console line so far (since the mark, with --since) "
                     "contains TEXT (as written, or one \"quoted\" text).",
                     consoleLines,
                     [](const std::vector<std::string>& lines, const std::string& text, const std::string& since) {
                         ExpectSome(lines, text, since, "no console line contains", "console lines");
                     });
    AddTextAssertion(commands, "expect-no-log", "TEXT",
                     "Fails the run if a console line so far (since the mark) contains TEXT.", consoleLines,
                     [](const std::vector<std::string>& lines, const std::string& text, const std::string& since) {
                         ExpectNone(lines, text, since, "a console line contains", "such lines");
                     });
    AddTextAssertion(commands, "expect-toast", "TEXT",
                     "Fails the run unless the text of a toast so far (since the mark) contains TEXT.", toasts,
                     [](const std::vector<std::string>& texts, const std::string& text, const std::string& since) {
                         ExpectSome(texts, text, since, "no toast's text contains", "toasts");
                     });
    AddTextAssertion(commands, "expect-no-toast", "TEXT",
                     "Fails the run if the text of a toast so far (since the mark) contains TEXT.", toasts,
                     [](const std::vector<std::string>& texts, const std::string& text, const std::string& since) {
                         ExpectNone(texts, text, since, "a toast's text contains", "such toasts");
                     });
    AddTextAssertion(commands, "expect-modal", "TITLE",
                     "Fails the run unless the title of a modal shown so far (since the mark) contains TITLE (as "
                     "written, or one \"quoted\" text).",
                     [](Session& session, const JournalMark& skipped) {
                         std::vector<std::string> titles;
                         for (const auto& modal : After(session.host.Modals(), skipped.modals)) {
                             titles.push_back(modal.title);
                         }
                         return titles;
                     },
                     [](const std::vector<std::string>& titles, const std::string& title, const std::string& since) {
                         ExpectSome(titles, title, since, "no modal's title contains", "modals");
                     });
    commands.Add({"expect-request", "[--since MARK] [VERB] PATH[?QUERY] [STATUS]",
                  "Fails the run unless a request so far (since the mark) went to a URL whose path starts with "
                  "PATH and, when ?QUERY is given, whose query starts with QUERY, with that verb (GET, POST, ...) "
                  "and answered with that status (0: no answer), when given. Requests in flight are waited for "
                  "first.",
                  [](const std::string& arguments) -> StepAction {
                      std::string_view rest = arguments;
                      const std::string mark = TakeSince(rest);
                      const RequestPattern pattern = ParseRequestPattern(rest);
                      return [pattern, mark](Session& session) {
                          const JournalMark skipped = SkippedBefore(session, mark);
                          const auto requests = After(AnsweredRequests(session.host), skipped.requests);
                          if (std::none_of(requests.begin(), requests.end(),
                                           [&](const sim::HttpExchange& exchange) { return pattern.Matches(exchange); })) {
                              throw std::runtime_error(fmt::format("no request{} matched: {}", SinceText(mark),
                                                                   pattern.Describe()) +
                                                       LastFew(Described(requests), "requests"));
                          }
                      };
                  },
                  CommandDefinition::Completes::Nothing, true});
    commands.Add({"expect-requests", "[--since MARK] N [VERB] PATH[?QUERY] [STATUS]",
                  "Fails the run unless exactly N requests so far (since the mark) match (as expect-request). "
                  "Requests in flight are waited for first.",
                  [](const std::string& arguments) -> StepAction {
                      std::string_view rest = arguments;
                      const std::string mark = TakeSince(rest);
                      const int expected = ReadNumber(TakeWord(rest), 0, 1'000'000, "a count");
                      const RequestPattern pattern = ParseRequestPattern(rest);
                      return [expected, pattern, mark](Session& session) {
                          const JournalMark skipped = SkippedBefore(session, mark);
                          const auto requests = After(AnsweredRequests(session.host), skipped.requests);
                          const auto count = std::count_if(requests.begin(), requests.end(),
                                                           [&](const sim::HttpExchange& exchange) { return pattern.Matches(exchange); });
                          if (count != expected) {
                              throw std::runtime_error(fmt::format("expected {} requests{} matching: {}; got {}",
                                                                   expected, SinceText(mark), pattern.Describe(),
                                                                   count) +
                                                       LastFew(Described(requests), "requests"));
                          }
                      };
                  },
                  CommandDefinition::Completes::Nothing, true});
}

}  // namespace plexarsim
