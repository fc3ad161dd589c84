#include "tools/qvx-devservice/Endpoint.h"

namespace qvxdev {

const std::array<EndpointInfo, 6>& AllEndpoints()
{
    static const std::array<EndpointInfo, 6> endpoints{{
        {Endpoint::SmartSync, "smartSync", "/api/v2/inventory/smartSync.php", "POST"},
        {Endpoint::ToggleSync, "toggleSync", "/api/v2/inventory/toggleSync.php", "GET"},
        {Endpoint::Loadout, "loadout", "/api/v2/inventory/loadout.php", "POST"},
        {Endpoint::Stats, "stats", "/api/v2/stats/ingame.php", "POST"},
        {Endpoint::ValidateTrader, "validateTrader", "/api/v2/system/validateTrader.php", "POST"},
        {Endpoint::LogIngameTrade, "logIngameTrade", "/api/v2/trading/logIngameTrade.php", "POST"},
    }};
    return endpoints;
}

const EndpointInfo& Describe(Endpoint endpoint)
{
    return AllEndpoints()[static_cast<std::size_t>(endpoint)];
}

std::optional<Endpoint> EndpointNamed(std::string_view name)
{
    for (const EndpointInfo& info : AllEndpoints()) {
        if (info.name == name) {
            return info.endpoint;
        }
    }
    return std::nullopt;
}

std::string EndpointNames()
{
    std::string names;
    for (const EndpointInfo& info : AllEndpoints()) {
        if (!names.empty()) {
            names += ", ";
        }
        names += info.name;
    }
    return names;
}

}  // namespace qvxdev
