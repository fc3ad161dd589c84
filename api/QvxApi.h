#pragma once
// The one place that knows how to talk to the Quorvex service: the endpoint URLs, the API key,
// the player's user code, the headers every request carries, and reading the "message" of an
// answer. It sends nothing itself; the features build and send their own requests.
//
// The user code is UserCode's (api/UserCode.h); the client reads the current one for every
// request.
//
// Threads: created on the game thread; GetHeaders runs on the game thread (it asks the host for
// the player's id). GetResponseMessageOrEmpty may run on any thread.
#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "api/Texts.h"
#include "api/UserCode.h"
#include "host/GameWrapper.h"
#include "host/HttpWrapper.h"

namespace quorvex {

class QvxApi {
public:
    static constexpr const char* ApiHost = "api.quorvex.com";

    using Headers = std::map<std::string, std::string>;

    // `version` is the plug-in's version as the service reads it ("1.0.1+225"), which the plug-in
    // hands over from its one source.
    QvxApi(std::shared_ptr<GameWrapper> gameWrapper, std::shared_ptr<const UserCode> userCode, std::string version,
           std::string apiKey = "3f9d1c7a2b8e4f60d5a1c9b7e2f4083a6d1b5c97",
           std::string smartSyncUrl = Url(texts::api::SmartSyncPath),
           std::string statsUrl = Url(texts::api::StatsPath),
           std::string loadoutUrl = Url(texts::api::LoadoutPath),
           std::string validateTraderUrl = Url(texts::api::ValidateTraderPath),
           std::string logIngameTradeUrl = Url(texts::api::LogIngameTradePath),
           std::string toggleSyncUrl = Url(texts::api::ToggleSyncPath));

    // "x-qvx-key", "x-qvx-user-code", "x-qvx-version", and, when the player's id string has at
    // least two "|"-separated fields, "x-qvx-user-platform" and "x-qvx-user-id".
    Headers GetHeaders() const;

    // A request to `url` carrying `body` and the headers of GetHeaders; `verb` is empty (the
    // host's default for a JSON body) except "GET" for the toggle. Game thread.
    CurlRequest BuildRequest(std::string url, std::string body, std::string verb = {}) const;

    // The top-level "message" text of a JSON body, or empty (logged when the body is not JSON or
    // the message is not a text; a body over MaxKeptBodyBytes is not read). Never throws.
    static std::string GetResponseMessageOrEmpty(const std::string& body);

    static std::string Url(const std::string& path);

    const std::shared_ptr<GameWrapper> gameWrapper;
    // The current code, empty when the player has not linked an account.
    const std::shared_ptr<const UserCode> userCode;
    // Sent as "x-qvx-version".
    const std::string version;
    const std::string apiKey;
    const std::string smartSyncUrl;
    const std::string statsUrl;
    const std::string loadoutUrl;
    const std::string validateTraderUrl;
    const std::string logIngameTradeUrl;
    // Holds "{}" for the status, "1" to switch on, "0" to switch off.
    const std::string toggleSyncUrl;
};

}  // namespace quorvex
