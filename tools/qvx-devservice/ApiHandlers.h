#pragma once
// What the six API endpoints do, apart from HTTP: checks the plug-in's key, version and user
// code, reads and checks the body, stores what was sent and builds the answer the plug-in
// expects. Refusals are answers, never exceptions: 401 with a "message" for a wrong key,
// version or user code, 400 with a "message" for a body or query that does not fit.
//
// Threads: Handle may be called from any thread, concurrently; the player table is fixed at
// construction and only read, and the Store serialises its own state.
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "plugin/Version.h"
#include "tools/qvx-devservice/Endpoint.h"
#include "tools/qvx-devservice/Store.h"

namespace qvxdev {

// The API key and version header every request must carry: the version of the plug-in built
// from the same tree.
constexpr const char* ApiKey = "3f9d1c7a2b8e4f60d5a1c9b7e2f4083a6d1b5c97";
constexpr const char* PluginVersion = QUORVEX_VERSION_HEADER_TEXT;

// How the service knows a trade partner; players it does not know are answered 202.
enum class Standing { Linked, Scammer, BannedForTerms };
using PlayerTable = std::map<std::string, Standing>;

// Gives the validateTrader status for a standing: 200, 423 or 451.
int PartnerStatus(Standing standing);
// "linked", "scammer" or "banned".
const char* StandingName(Standing standing);

// The parts of an HTTP request the endpoints read; absent headers are empty.
struct ApiRequest {
    std::string apiKey;    // x-qvx-key
    std::string version;   // x-qvx-version
    std::string userCode;  // x-qvx-user-code
    std::string platform;  // x-qvx-user-platform
    std::string userId;    // x-qvx-user-id
    std::map<std::string, std::string> query;
    std::string body;
};

struct ApiAnswer {
    int status = 200;
    nlohmann::json body;
    std::string note;  // what was done or refused, for the service's console
};

class ApiHandlers {
public:
    ApiHandlers(Store& store, PlayerTable players);

    ApiAnswer Handle(Endpoint endpoint, const ApiRequest& request);

    const PlayerTable& Players() const { return players_; }

private:
    // Each gets a request whose key, version and (except ValidateTrader) user code passed.
    ApiAnswer SmartSync(const ApiRequest& request);
    ApiAnswer ToggleSync(const ApiRequest& request);
    ApiAnswer Loadout(const ApiRequest& request);
    ApiAnswer Stats(const ApiRequest& request);
    ApiAnswer ValidateTrader(const ApiRequest& request);
    ApiAnswer LogIngameTrade(const ApiRequest& request);

    Store& store_;
    const PlayerTable players_;
};

}  // namespace qvxdev
