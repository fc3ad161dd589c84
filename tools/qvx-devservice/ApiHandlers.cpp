#include "tools/qvx-devservice/ApiHandlers.h"

#include <fmt/format.h>

namespace qvxdev {
namespace {

using nlohmann::json;

ApiAnswer Message(int status, const std::string& message, std::string note = {})
{
    return {status, {{"message", message}}, note.empty() ? message : std::move(note)};
}

}  // namespace

int PartnerStatus(Standing standing)
{
    switch (standing) {
    case Standing::Linked:
        return 200;
    case Standing::Scammer:
        return 423;
    case Standing::BannedForTerms:
        return 451;
    }
    return 202;
}

const char* StandingName(Standing standing)
{
    switch (standing) {
    case Standing::Linked:
        return "linked";
    case Standing::Scammer:
        return "scammer";
    case Standing::BannedForTerms:
        return "banned";
    }
    return "unknown";
}

ApiHandlers::ApiHandlers(Store& store, PlayerTable players)
    : store_(store), players_(std::move(players))
{
}

ApiAnswer ApiHandlers::Handle(Endpoint endpoint, const ApiRequest& request)
{
    if (request.apiKey != ApiKey) {
        return Message(401, "This plug-in build is not allowed to use Quorvex (unknown API key).");
    }
    if (request.version != PluginVersion) {
        return Message(401,
                       "This version of the Quorvex plug-in is not supported. Please update it.",
                       fmt::format("unsupported version '{}'", request.version));
    }
    if (endpoint != Endpoint::ValidateTrader) {
        if (request.userCode.empty()) {
            return Message(401, "No user code set. Link your account on quorvex.com/sync first.");
        }
        if (!store_.HasAccount(request.userCode)) {
            return Message(401, "Unknown user code. Link your account again on quorvex.com/sync.");
        }
        if (!request.platform.empty() || !request.userId.empty()) {
            store_.NoteClient(request.userCode, request.platform, request.userId);
        }
    }
    try {
        switch (endpoint) {
        case Endpoint::SmartSync:
            return SmartSync(request);
        case Endpoint::ToggleSync:
            return ToggleSync(request);
        case Endpoint::Loadout:
            return Loadout(request);
        case Endpoint::Stats:
            return Stats(request);
        case Endpoint::ValidateTrader:
            return ValidateTrader(request);
        case Endpoint::LogIngameTrade:
            return LogIngameTrade(request);
        }
    } catch (const BadRequest& error) {
        return Message(400, error.what());
    }
    return Message(404, "No such endpoint.");
}

ApiAnswer ApiHandlers::SmartSync(const ApiRequest& request)
{
    const json body = ParseBody(request.body);
    SyncAnswer answer;
    std::string note;
    if (body.is_array()) {
        const std::vector<Product> items = ReadInventory(body);
        answer = store_.ReplaceInventory(request.userCode, items);
        note = fmt::format("full upload of {} items accepted, guid {}", items.size(), answer.guid);
    } else if (body.is_object()) {
        const InventoryDiff diff = ReadInventoryDiff(body);
        const auto lastRequest = request.query.find("lastRequest");
        answer = store_.ApplyDiff(request.userCode, diff,
                                  lastRequest == request.query.end()
                                      ? std::nullopt
                                      : std::optional<std::string>(lastRequest->second));
        note = answer.full
                   ? fmt::format("diff refused ({}), full upload asked", answer.refusal)
                   : fmt::format("diff of +{} -{} items applied, guid {}", diff.added.size(),
                                 diff.removed.size(), answer.guid);
    } else {
        throw BadRequest("body must be a JSON array (full upload) or a JSON object (diff)");
    }
    return {200, {{"full", answer.full}, {"guid", answer.guid}}, note};
}

ApiAnswer ApiHandlers::ToggleSync(const ApiRequest& request)
{
    const auto status = request.query.find("status");
    if (status == request.query.end() || (status->second != "1" && status->second != "0")) {
        throw BadRequest("the query must hold status=1 (switch on) or status=0 (switch off)");
    }
    const bool enabled = status->second == "1";
    store_.SetSyncEnabled(request.userCode, enabled);
    return Message(200, enabled ? "Inventory sync switched on." : "Inventory sync switched off.");
}

ApiAnswer ApiHandlers::Loadout(const ApiRequest& request)
{
    const json loadout = ReadLoadout(ParseBody(request.body));
    store_.AddLoadout(request.userCode, loadout);
    const std::string name = loadout.at("loadout_name");
    return Message(200, "Loadout saved.", fmt::format("loadout '{}' saved", name));
}

ApiAnswer ApiHandlers::Stats(const ApiRequest& request)
{
    const std::int32_t playlist = ReadStatsRequest(ParseBody(request.body));
    store_.AddStatsRequest(request.userCode, playlist);
    return Message(200, "Stats update requested.",
                   fmt::format("stats update requested for playlist {}", playlist));
}

ApiAnswer ApiHandlers::ValidateTrader(const ApiRequest& request)
{
    const std::string player = ReadPartnerCheck(ParseBody(request.body));
    const auto found = players_.find(player);
    const int status = found == players_.end() ? 202 : PartnerStatus(found->second);
    store_.AddPartnerCheck(player, status);
    const std::string standing = found == players_.end() ? "unknown" : StandingName(found->second);
    return {status, {{"status", standing}}, fmt::format("partner {} is {}", player, standing)};
}

ApiAnswer ApiHandlers::LogIngameTrade(const ApiRequest& request)
{
    const json trade = ReadTrade(ParseBody(request.body));
    const std::string guid = trade.at("trade_guid");
    if (!store_.AddTrade(request.userCode, trade)) {
        return Message(200, "Trade logged.",
                       fmt::format("trade '{}' already logged, not stored again", guid));
    }
    return Message(200, "Trade logged.", fmt::format("trade '{}' logged", guid));
}

}  // namespace qvxdev
