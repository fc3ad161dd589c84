#pragma once
// The service's inventory guid travels unescaped at the end of the diff sync's URL, so only a
// guid the URL can carry as it is may be used: 1 to 256 bytes of letters, digits, '-', '_', '.'
// and '~'. Any thread.
#include <string>

namespace quorvex {

constexpr std::size_t MaxGuidBytes = 256;

// Empty when the guid can be used; otherwise why not ("empty", "longer than 256 bytes", ...).
std::string GuidProblem(const std::string& guid);

}  // namespace quorvex
