#include "api/QvxApi.h"

#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "api/Texts.h"
#include "core/Boundary.h"
#include "core/Log.h"
#include "core/SafeText.h"

namespace quorvex {
namespace {

// Fields of the player's id string, empty ones kept: "a||b" has three.
std::vector<std::string> SplitAtBars(const std::string& text)
{
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    while (true) {
        const auto bar = text.find('|', start);
        fields.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) {
            return fields;
        }
        start = bar + 1;
    }
}

}  // namespace

std::string QvxApi::Url(const std::string& path)
{
    return std::string(texts::api::UrlScheme) + ApiHost + path;
}

QvxApi::QvxApi(std::shared_ptr<GameWrapper> gameWrapperHandle, std::shared_ptr<const UserCode> userCodeHandle,
               std::string pluginVersion, std::string key, std::string smartSync, std::string stats, std::string loadout,
               std::string validateTrader, std::string logIngameTrade, std::string toggleSync)
    : gameWrapper(std::move(gameWrapperHandle)),
      userCode(std::move(userCodeHandle)),
      version(std::move(pluginVersion)),
      apiKey(std::move(key)),
      smartSyncUrl(std::move(smartSync)),
      statsUrl(std::move(stats)),
      loadoutUrl(std::move(loadout)),
      validateTraderUrl(std::move(validateTrader)),
      logIngameTradeUrl(std::move(logIngameTrade)),
      toggleSyncUrl(std::move(toggleSync))
{
}

QvxApi::Headers QvxApi::GetHeaders() const
{
    Headers headers{
        {"x-qvx-key", apiKey},
        {"x-qvx-user-code", userCode->Get()},
        {"x-qvx-version", version},
    };
    const auto fields = SplitAtBars(gameWrapper->GetUniqueID().GetIdString());
    if (fields.size() >= 2) {
        headers["x-qvx-user-platform"] = fields[0];
        headers["x-qvx-user-id"] = fields[1];
    }
    return headers;
}

CurlRequest QvxApi::BuildRequest(std::string url, std::string body, std::string verb) const
{
    CurlRequest request;
    request.url = std::move(url);
    request.verb = std::move(verb);
    request.body = std::move(body);
    request.headers = GetHeaders();
    return request;
}

std::string QvxApi::GetResponseMessageOrEmpty(const std::string& body)
{
    if (body.size() > MaxKeptBodyBytes) {
        return {};
    }
    try {
        const auto parsed = nlohmann::json::parse(body);
        if (parsed.is_object() && parsed.contains("message")) {
            return parsed.at("message").get<std::string>();
        }
        return {};
    } catch (const nlohmann::json::parse_error& error) {
        CatchAndLog("QvxApi::GetResponseMessageOrEmpty", [&] { Log(texts::api::InvalidJsonLine, ConsoleText(error.what())); });
    } catch (const std::exception& error) {
        CatchAndLog("QvxApi::GetResponseMessageOrEmpty",
                    [&] { Log(texts::api::ResponseParseFailedLine, ConsoleText(error.what())); });
    } catch (...) {
        LogUnknownException("QvxApi::GetResponseMessageOrEmpty");
    }
    return {};
}

}  // namespace quorvex
