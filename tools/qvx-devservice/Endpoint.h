#pragma once
// The six API endpoints the plug-in calls: their short names (used by --fail, --delay and
// /dev/state), paths and HTTP methods.
//
// Threads: constant data, safe to read from any thread.
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qvxdev {

enum class Endpoint { SmartSync, ToggleSync, Loadout, Stats, ValidateTrader, LogIngameTrade };

struct EndpointInfo {
    Endpoint endpoint;
    std::string_view name;    // "smartSync"
    std::string_view path;    // "/api/v2/inventory/smartSync.php"
    std::string_view method;  // "GET" or "POST"
};

const std::array<EndpointInfo, 6>& AllEndpoints();

const EndpointInfo& Describe(Endpoint endpoint);

// The endpoint with this short name, compared exactly ("smartSync", not "smartsync").
std::optional<Endpoint> EndpointNamed(std::string_view name);

// "smartSync, toggleSync, ...", for messages that list the valid names.
std::string EndpointNames();

}  // namespace qvxdev
