#include "tools/qvx-devservice/RuleText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <stdexcept>

#include <fmt/format.h>

namespace qvxdev {

std::pair<std::string_view, std::string_view> SplitRule(std::string_view text,
                                                        std::string_view form)
{
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        throw std::invalid_argument(fmt::format("'{}' is not of the form {}", text, form));
    }
    return {text.substr(0, equals), text.substr(equals + 1)};
}

Endpoint RuleEndpoint(std::string_view name)
{
    const std::optional<Endpoint> endpoint = EndpointNamed(name);
    if (!endpoint) {
        // Names are case-sensitive; the likeliest slip is the case of a letter.
        for (const EndpointInfo& info : AllEndpoints()) {
            if (info.name.size() == name.size() &&
                std::equal(name.begin(), name.end(), info.name.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                })) {
                throw std::invalid_argument(fmt::format("'{}' is not an endpoint; did you mean {}?", name, info.name));
            }
        }
        throw std::invalid_argument(
            fmt::format("'{}' is not an endpoint; use one of {}", name, EndpointNames()));
    }
    return *endpoint;
}

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

}  // namespace qvxdev
