#include "tools/qvx-devservice/FaultInjector.h"

#include <stdexcept>
#include <string_view>

#include <fmt/format.h>

namespace qvxdev {

FaultRule ParseFaultRule(const std::string& text)
{
    constexpr std::string_view RetryAfter = ",retryAfter=";
    auto [name, value] = SplitRule(text, FaultRuleForm);
    const Endpoint endpoint = RuleEndpoint(name);
    std::optional<std::string_view> wait;
    if (const std::size_t comma = value.find(','); comma != std::string_view::npos) {
        if (value.substr(comma, RetryAfter.size()) != RetryAfter) {
            throw std::invalid_argument(fmt::format("'{}': after the status comes only ,retryAfter=SECONDS ({})",
                                                    text, FaultRuleForm));
        }
        wait = value.substr(comma + RetryAfter.size());
        value = value.substr(0, comma);
    }
    const std::size_t times = value.find('x');
    const auto status = Number(value.substr(0, times), MinFaultStatus, MaxFaultStatus);
    if (!status) {
        throw std::invalid_argument(fmt::format("'{}': the status must be a number from {} to {}",
                                                text, MinFaultStatus, MaxFaultStatus));
    }
    FaultRule rule{endpoint, static_cast<int>(*status), std::nullopt, std::nullopt};
    if (times != std::string_view::npos) {
        const auto count = Number(value.substr(times + 1), 1, 1000000);
        if (!count) {
            throw std::invalid_argument(
                fmt::format("'{}': the count after 'x' must be a number from 1 to 1000000", text));
        }
        rule.count = static_cast<int>(*count);
    }
    if (wait) {
        if (rule.status != 429 && rule.status != 503) {
            throw std::invalid_argument(
                fmt::format("'{}': retryAfter goes with 429 or 503, the answers a client waits on", text));
        }
        const auto seconds = Number(*wait, 0, MaxRetryAfterSeconds);
        if (!seconds) {
            throw std::invalid_argument(fmt::format("'{}': retryAfter must be a number of seconds from 0 to {}",
                                                    text, MaxRetryAfterSeconds));
        }
        rule.retryAfterSeconds = static_cast<int>(*seconds);
    }
    return rule;
}

DelayRule ParseDelayRule(const std::string& text)
{
    const auto [name, value] = SplitRule(text, "ENDPOINT=MS");
    const Endpoint endpoint = RuleEndpoint(name);
    const auto milliseconds = Number(value, 0, MaxDelay.count());
    if (!milliseconds) {
        throw std::invalid_argument(
            fmt::format("'{}': the delay must be a number of milliseconds from 0 to {}", text,
                        MaxDelay.count()));
    }
    return {endpoint, std::chrono::milliseconds(*milliseconds)};
}

FaultInjector::FaultInjector(FaultPlan plan) : plan_(std::move(plan)), random_(plan_.random)
{
    Load();
}

void FaultInjector::Load()
{
    faults_.clear();
    delays_.clear();
    for (const FaultRule& rule : plan_.faults) {
        faults_[rule.endpoint].push_back(rule);
    }
    for (const DelayRule& rule : plan_.delays) {
        if (rule.delay.count() > 0) {
            delays_[rule.endpoint] = rule.delay;
        }
    }
    random_ = RandomFaults(plan_.random);
    injected_.clear();
}

void FaultInjector::AddFault(const FaultRule& rule)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[rule.endpoint].push_back(rule);
}

void FaultInjector::SetDelay(const DelayRule& rule)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (rule.delay.count() == 0) {
        delays_.erase(rule.endpoint);
    } else {
        delays_[rule.endpoint] = rule.delay;
    }
}

void FaultInjector::ChangeRandomFaults(const RandomFaultChange& change)
{
    std::lock_guard<std::mutex> lock(mutex_);
    random_.Change(change);
}

std::optional<FaultRule> FaultInjector::TakeFault(Endpoint endpoint)
{
    const auto found = faults_.find(endpoint);
    if (found == faults_.end() || found->second.empty()) {
        return std::nullopt;
    }
    FaultRule& rule = found->second.front();
    const FaultRule taken = rule;
    if (rule.count && --*rule.count == 0) {
        found->second.pop_front();
    }
    return taken;
}

void FaultInjector::Count(Endpoint endpoint, const std::string& kind)
{
    ++injected_[endpoint][kind];
}

FaultDecision FaultInjector::Decide(Endpoint endpoint)
{
    std::lock_guard<std::mutex> lock(mutex_);
    FaultDecision decision;
    const auto delay = delays_.find(endpoint);
    if (delay != delays_.end()) {
        decision.delay = delay->second;
    }
    // Drawn for every request, so that deterministic rules do not shift the random sequence.
    const RandomDraw draw = random_.Draw(endpoint);
    decision.expireGuid = draw.expireGuid;
    if (const std::optional<FaultRule> rule = TakeFault(endpoint)) {
        decision.action = FaultDecision::Action::Answer;
        decision.status = rule->status;
        decision.retryAfterSeconds = rule->retryAfterSeconds;
        Count(endpoint, std::to_string(rule->status));
        return decision;
    }
    if (!draw.outcome) {
        return decision;
    }
    Count(endpoint, OutcomeName(*draw.outcome));
    switch (draw.outcome->kind) {
    case RandomOutcome::Kind::Status:
        decision.action = FaultDecision::Action::Answer;
        decision.status = draw.outcome->status;
        break;
    case RandomOutcome::Kind::Drop:
        decision.action = FaultDecision::Action::Drop;
        break;
    case RandomOutcome::Kind::Lose:
        decision.action = FaultDecision::Action::Lose;
        break;
    case RandomOutcome::Kind::Delay:
        decision.delay += draw.delay;
        break;
    }
    return decision;
}

void FaultInjector::CountGuidExpiry()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Count(Endpoint::SmartSync, "expireGuid");
}

void FaultInjector::Wait(std::chrono::milliseconds delay)
{
    if (delay.count() <= 0) {
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    shutdown_.wait_for(lock, delay, [this] { return stopping_; });
}

void FaultInjector::Reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    Load();
}

void FaultInjector::Shutdown()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    shutdown_.notify_all();
}

nlohmann::json FaultInjector::Describe() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto name = [](Endpoint endpoint) { return std::string(qvxdev::Describe(endpoint).name); };
    nlohmann::json faults = nlohmann::json::object();
    for (const auto& [endpoint, rules] : faults_) {
        for (const FaultRule& rule : rules) {
            nlohmann::json described = {
                {"status", rule.status},
                {"remaining", rule.count ? nlohmann::json(*rule.count) : nlohmann::json()}};
            if (rule.retryAfterSeconds) {
                described["retryAfter"] = *rule.retryAfterSeconds;
            }
            faults[name(endpoint)].push_back(std::move(described));
        }
    }
    nlohmann::json delays = nlohmann::json::object();
    for (const auto& [endpoint, delay] : delays_) {
        delays[name(endpoint)] = delay.count();
    }
    nlohmann::json byEndpoint = nlohmann::json::object();
    std::int64_t total = 0;
    for (const auto& [endpoint, kinds] : injected_) {
        for (const auto& [kind, count] : kinds) {
            byEndpoint[name(endpoint)][kind] = count;
            total += count;
        }
    }
    return {{"faults", std::move(faults)},
            {"delays", std::move(delays)},
            {"randomFaults", random_.Describe()},
            {"injectedFaults", {{"total", total}, {"byEndpoint", std::move(byEndpoint)}}}};
}

}  // namespace qvxdev
