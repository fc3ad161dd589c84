#pragma once
// Which web pages may open a connection to the local WebSocket server: the Quorvex site, and
// pages served from the player's own machine (any port). Any other page a browser shows could
// otherwise talk to the plug-in.
#include <string_view>

namespace quorvex {

// True for "https://quorvex.com", "https://www.quorvex.com", and "http://localhost",
// "http://127.0.0.1", "http://[::1]" with an optional ":port" (1-65535). The whole text must
// match: "http://localhost.evil.com" or "http://localhost/" is refused.
bool IsAllowedOrigin(std::string_view origin);

}  // namespace quorvex
