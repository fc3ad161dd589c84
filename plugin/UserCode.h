#pragma once
// What a user code handed over by the linking page may hold. The code goes into a cvar, the
// settings file and a request header, so only printable ASCII without quotes, backslashes or
// white space, at most 128 bytes, is taken. The empty code is allowed: it unlinks the account.
#include <string>

namespace quorvex {

constexpr std::size_t MaxUserCodeBytes = 128;

// Why the code cannot be taken, or empty when it can.
std::string UserCodeProblem(const std::string& code);

}  // namespace quorvex
