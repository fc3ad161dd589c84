#include "tools/qvx-devservice/RandomFaults.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

#include <fmt/format.h>

#include "tools/qvx-devservice/RuleText.h"

namespace qvxdev {
namespace {

using nlohmann::json;

constexpr const char* RuleForm = "ENDPOINT=RATE:OUTCOME[,OUTCOME...]";

RandomOutcome ParseOutcome(std::string_view text, std::string_view rule)
{
    if (text == "drop") {
        return {RandomOutcome::Kind::Drop, 0};
    }
    if (text == "lose") {
        return {RandomOutcome::Kind::Lose, 0};
    }
    if (text == "delay") {
        return {RandomOutcome::Kind::Delay, 0};
    }
    if (const auto status = Number(text, 200, 599)) {
        return {RandomOutcome::Kind::Status, static_cast<int>(*status)};
    }
    throw std::invalid_argument(fmt::format(
        "'{}': '{}' is not an outcome; use a status from 200 to 599, drop, lose or delay", rule,
        text));
}

// A number from 0 to 1 drawn from the generator, the same on every platform (the standard's
// distributions are not).
double Unit(std::mt19937_64& generator)
{
    return static_cast<double>(generator() >> 11) * 0x1.0p-53;
}

// The rules that fail any request: a rate of 0 removes an endpoint's rule.
std::map<Endpoint, RandomFaultRule> Active(const std::map<Endpoint, RandomFaultRule>& rules)
{
    std::map<Endpoint, RandomFaultRule> active;
    for (const auto& [endpoint, rule] : rules) {
        if (rule.rate > 0 && !rule.outcomes.empty()) {
            active.emplace(endpoint, rule);
        }
    }
    return active;
}

std::uint64_t SplitMix(std::uint64_t value)
{
    value += 0x9e3779b97f4a7c15ULL;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

}  // namespace

std::string OutcomeName(const RandomOutcome& outcome)
{
    switch (outcome.kind) {
    case RandomOutcome::Kind::Drop:
        return "drop";
    case RandomOutcome::Kind::Lose:
        return "lose";
    case RandomOutcome::Kind::Delay:
        return "delay";
    case RandomOutcome::Kind::Status:
        break;
    }
    return std::to_string(outcome.status);
}

double ParseRate(const std::string& text)
{
    double rate = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !(rate >= 0 && rate <= 1)) {
        throw std::invalid_argument(
            fmt::format("'{}': a rate must be a decimal number from 0 to 1 (0.1 is one in ten)",
                        text));
    }
    return rate;
}

std::uint64_t ParseSeed(const std::string& text)
{
    std::uint64_t seed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw std::invalid_argument(fmt::format(
            "'{}': a seed is a whole number from 0 to 18446744073709551615", text));
    }
    return seed;
}

std::map<Endpoint, RandomFaultRule> ParseRandomFaultRule(const std::string& text)
{
    const auto [name, value] = SplitRule(text, RuleForm);
    const std::size_t colon = value.find(':');
    if (colon == std::string_view::npos) {
        throw std::invalid_argument(fmt::format("'{}' is not of the form {}", text, RuleForm));
    }
    RandomFaultRule rule;
    rule.rate = ParseRate(std::string(value.substr(0, colon)));
    for (std::string_view outcomes = value.substr(colon + 1);;) {
        const std::size_t comma = outcomes.find(',');
        rule.outcomes.push_back(ParseOutcome(outcomes.substr(0, comma), text));
        if (comma == std::string_view::npos) {
            break;
        }
        outcomes.remove_prefix(comma + 1);
    }
    std::map<Endpoint, RandomFaultRule> rules;
    if (name == "*") {
        for (const EndpointInfo& endpoint : AllEndpoints()) {
            rules.emplace(endpoint.endpoint, rule);
        }
    } else {
        rules.emplace(RuleEndpoint(name), rule);
    }
    return rules;
}

DelayRange ParseDelayRange(const std::string& text)
{
    const std::size_t dash = text.find('-');
    const std::string_view whole(text);
    const auto min = Number(whole.substr(0, dash), 0, MaxDelay.count());
    const auto max = dash == std::string::npos ? min : Number(whole.substr(dash + 1), 0, MaxDelay.count());
    if (!min || !max || *max < *min) {
        throw std::invalid_argument(
            fmt::format("'{}': a delay is MS or MIN-MAX milliseconds, from 0 to {}", text,
                        MaxDelay.count()));
    }
    return {std::chrono::milliseconds(*min), std::chrono::milliseconds(*max)};
}

RandomFaultChange ParseRandomFaultChange(const json& body)
{
    if (!body.is_object()) {
        throw std::invalid_argument(
            "the body must be a JSON object with any of \"seed\", \"rules\", \"delay\" and "
            "\"expireGuidRate\"");
    }
    RandomFaultChange change;
    for (const auto& [key, value] : body.items()) {
        if (key == "seed" && value.is_number_unsigned()) {
            change.seed = value.get<std::uint64_t>();
        } else if (key == "rules" && value.is_array()) {
            change.rules.emplace();
            for (const json& rule : value) {
                if (!rule.is_string()) {
                    throw std::invalid_argument(
                        fmt::format("\"rules\" holds texts of the form {}", RuleForm));
                }
                for (const auto& [endpoint, parsed] : ParseRandomFaultRule(rule.get<std::string>())) {
                    (*change.rules)[endpoint] = parsed;
                }
            }
        } else if (key == "delay" && value.is_string()) {
            change.delay = ParseDelayRange(value.get<std::string>());
        } else if (key == "expireGuidRate" && value.is_number() && value.get<double>() >= 0 &&
                   value.get<double>() <= 1) {
            change.expireGuidRate = value.get<double>();
        } else {
            throw std::invalid_argument(fmt::format(
                "\"{}\" is not a member this route reads, or not of its type (\"seed\": unsigned "
                "integer, \"rules\": array of texts, \"delay\": text, \"expireGuidRate\": "
                "number from 0 to 1)",
                key));
        }
    }
    return change;
}

RandomFaults::RandomFaults(RandomFaultPlan plan) : plan_(std::move(plan))
{
    plan_.rules = Active(plan_.rules);
    Seed();
}

void RandomFaults::Seed()
{
    generators_.clear();
    for (const EndpointInfo& endpoint : AllEndpoints()) {
        generators_.emplace(endpoint.endpoint,
                            std::mt19937_64(SplitMix(plan_.seed + static_cast<std::uint64_t>(endpoint.endpoint))));
    }
}

RandomDraw RandomFaults::Draw(Endpoint endpoint)
{
    std::mt19937_64& generator = generators_.at(endpoint);
    // Every request draws the same four numbers, so that one outcome never shifts the next.
    const double fault = Unit(generator);
    const std::uint64_t pick = generator();
    const std::uint64_t delay = generator();
    const double expire = Unit(generator);

    RandomDraw draw;
    const auto rule = plan_.rules.find(endpoint);
    if (rule != plan_.rules.end() && fault < rule->second.rate) {
        const auto& outcomes = rule->second.outcomes;
        draw.outcome = outcomes[pick % outcomes.size()];
        if (draw.outcome->kind == RandomOutcome::Kind::Delay) {
            const auto span = static_cast<std::uint64_t>((plan_.delay.max - plan_.delay.min).count());
            draw.delay = plan_.delay.min + std::chrono::milliseconds(delay % (span + 1));
        }
    }
    draw.expireGuid = endpoint == Endpoint::SmartSync && expire < plan_.expireGuidRate;
    return draw;
}

void RandomFaults::Change(const RandomFaultChange& change)
{
    if (change.rules) {
        plan_.rules = Active(*change.rules);
    }
    if (change.delay) {
        plan_.delay = *change.delay;
    }
    if (change.expireGuidRate) {
        plan_.expireGuidRate = *change.expireGuidRate;
    }
    if (change.seed) {
        plan_.seed = *change.seed;
        Seed();
    }
}

json RandomFaults::Describe() const
{
    json rules = json::object();
    for (const auto& [endpoint, rule] : plan_.rules) {
        json outcomes = json::array();
        for (const RandomOutcome& outcome : rule.outcomes) {
            outcomes.push_back(OutcomeName(outcome));
        }
        rules[std::string(qvxdev::Describe(endpoint).name)] = {{"rate", rule.rate},
                                                               {"outcomes", std::move(outcomes)}};
    }
    return {{"seed", plan_.seed},
            {"rules", std::move(rules)},
            {"delayMs", {{"min", plan_.delay.min.count()}, {"max", plan_.delay.max.count()}}},
            {"expireGuidRate", plan_.expireGuidRate}};
}

}  // namespace qvxdev
