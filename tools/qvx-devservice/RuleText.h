#pragma once
// The pieces the rule texts of --fail, --delay and --random-fault are made of, with messages
// that say what is wrong.
//
// Threads: pure functions, safe on any thread.
#include <chrono>
#include <optional>
#include <string_view>
#include <utility>

#include "tools/qvx-devservice/Endpoint.h"

namespace qvxdev {

// The longest delay any rule may ask for.
constexpr std::chrono::milliseconds MaxDelay{600000};

// Splits "NAME=VALUE"; form names the rule's whole form for the message. Throws
// std::invalid_argument without a '='.
std::pair<std::string_view, std::string_view> SplitRule(std::string_view text,
                                                        std::string_view form);

// The endpoint of that name; throws std::invalid_argument listing the valid names.
Endpoint RuleEndpoint(std::string_view name);

// The whole text as a decimal number from min to max, or none.
std::optional<long long> Number(std::string_view text, long long min, long long max);

}  // namespace qvxdev
