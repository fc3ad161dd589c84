#include "ws/OriginPolicy.h"

#include <array>

namespace quorvex {
namespace {

constexpr std::array<std::string_view, 2> SiteOrigins = {"https://quorvex.com",
                                                         "https://www.quorvex.com"};
constexpr std::string_view LoopbackScheme = "http://";
constexpr std::array<std::string_view, 3> LoopbackHosts = {"localhost", "127.0.0.1", "[::1]"};

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// ":1" to ":65535".
bool IsPortSuffix(std::string_view suffix)
{
    if (suffix.size() < 2 || suffix.size() > 6 || suffix.front() != ':') {
        return false;
    }
    unsigned long port = 0;
    for (char digit : suffix.substr(1)) {
        if (digit < '0' || digit > '9') {
            return false;
        }
        port = port * 10 + static_cast<unsigned long>(digit - '0');
    }
    return port >= 1 && port <= 65535;
}

}  // namespace

bool IsAllowedOrigin(std::string_view origin)
{
    for (std::string_view site : SiteOrigins) {
        if (origin == site) {
            return true;
        }
    }
    if (!StartsWith(origin, LoopbackScheme)) {
        return false;
    }
    const std::string_view authority = origin.substr(LoopbackScheme.size());
    for (std::string_view host : LoopbackHosts) {
        if (StartsWith(authority, host)) {
            const std::string_view rest = authority.substr(host.size());
            return rest.empty() || IsPortSuffix(rest);
        }
    }
    return false;
}

}  // namespace quorvex
