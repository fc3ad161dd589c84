#include "tools/qvx-devservice/FaultInjector.h"

#include <charconv>
#include <stdexcept>
#include <string_view>

#include <fmt/format.h>

namespace qvxdev {
namespace {

// Splits "NAME=VALUE" and looks NAME up; what names the rule's form for messages.
std::pair<Endpoint, std::string_view> SplitRule(std::string_view text, std::string_view form)
{
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        throw std::invalid_argument(fmt::format("'{}' is not of the form {}", text, form));
    }
    const std::string_view name = text.substr(0, equals);
    const std::optional<Endpoint> endpoint = EndpointNamed(name);
    if (!endpoint) {
        throw std::invalid_argument(
            fmt::format("'{}' is not an endpoint; use one of {}", name, EndpointNames()));
    }
    return {*endpoint, text.substr(equals + 1)};
}

// The whole text as a decimal number from min to max, or none.
std::optional<long long> Number(std::string_view text, long long min, long long max)
{
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < min ||
        value > max) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

FaultRule ParseFaultRule(const std::string& text)
{
    const auto [endpoint, value] = SplitRule(text, "ENDPOINT=STATUS[xCOUNT]");
    const std::size_t times = value.find('x');
    const auto status = Number(value.substr(0, times), MinFaultStatus, MaxFaultStatus);
    if (!status) {
        throw std::invalid_argument(fmt::format("'{}': the status must be a number from {} to {}",
                                                text, MinFaultStatus, MaxFaultStatus));
    }
    FaultRule rule{endpoint, static_cast<int>(*status), std::nullopt};
    if (times != std::string_view::npos) {
        const auto count = Number(value.substr(times + 1), 1, 1000000);
        if (!count) {
            throw std::invalid_argument(
                fmt::format("'{}': the count after 'x' must be a number from 1 to 1000000", text));
        }
        rule.count = static_cast<int>(*count);
    }
    return rule;
}

DelayRule ParseDelayRule(const std::string& text)
{
    const auto [endpoint, value] = SplitRule(text, "ENDPOINT=MS");
    const auto milliseconds = Number(value, 0, MaxDelay.count());
    if (!milliseconds) {
        throw std::invalid_argument(
            fmt::format("'{}': the delay must be a number of milliseconds from 0 to {}", text,
                        MaxDelay.count()));
    }
    return {endpoint, std::chrono::milliseconds(*milliseconds)};
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

std::optional<int> FaultInjector::TakeFault(Endpoint endpoint)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = faults_.find(endpoint);
    if (found == faults_.end() || found->second.empty()) {
        return std::nullopt;
    }
    FaultRule& rule = found->second.front();
    const int status = rule.status;
    if (rule.count && --*rule.count == 0) {
        found->second.pop_front();
    }
    return status;
}

void FaultInjector::Delay(Endpoint endpoint)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto found = delays_.find(endpoint);
    if (found != delays_.end()) {
        shutdown_.wait_for(lock, found->second, [this] { return stopping_; });
    }
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
    nlohmann::json faults = nlohmann::json::object();
    for (const auto& [endpoint, rules] : faults_) {
        for (const FaultRule& rule : rules) {
            faults[std::string(qvxdev::Describe(endpoint).name)].push_back(
                {{"status", rule.status},
                 {"remaining", rule.count ? nlohmann::json(*rule.count) : nlohmann::json()}});
        }
    }
    nlohmann::json delays = nlohmann::json::object();
    for (const auto& [endpoint, delay] : delays_) {
        delays[std::string(qvxdev::Describe(endpoint).name)] = delay.count();
    }
    return {{"faults", std::move(faults)}, {"delays", std::move(delays)}};
}

}  // namespace qvxdev
