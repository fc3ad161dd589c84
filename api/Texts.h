#pragma once
// The service API client's URL paths, console lines and cvar description, and what the sync features share.
// These are the system's own texts: players, the service's staff and whoever searches a console
// log read them as they are, so each stays exactly as it is, byte for byte, odd spellings
// included. "{}" marks a {fmt} field.

namespace quorvex::texts::api {

inline constexpr char UrlScheme[] = "https://";
inline constexpr char SmartSyncPath[] = "/api/v2/inventory/smartSync.php";
// "{}" is "1" to switch on, "0" to switch off.
inline constexpr char ToggleSyncPath[] = "/api/v2/inventory/toggleSync.php?status={}";
inline constexpr char LoadoutPath[] = "/api/v2/inventory/loadout.php";
inline constexpr char StatsPath[] = "/api/v2/stats/ingame.php";
inline constexpr char ValidateTraderPath[] = "/api/v2/system/validateTrader.php";
inline constexpr char LogIngameTradePath[] = "/api/v2/trading/logIngameTrade.php";
inline constexpr char UserCodeCvarDescription[] = "User code for QVX";
// The codes as UserCode::Shown gives them.
inline constexpr char UserCodeChangedLine[] = "new user code set: {} -> {}";
inline constexpr char UserCodeRefusedLine[] = "Refused the user code: {}; the previous one is kept";
inline constexpr char UserCodeKeptOverFileLine[] =
    "Kept the user code {} set since start; the settings file's {} is not used and is replaced";
inline constexpr char InvalidJsonLine[] = "Invalid Json in response: {}";
inline constexpr char ResponseParseFailedLine[] = "Exception thrown while parsing respose message: {}";
// Toast and console line of a 401 without a message of its own.
inline constexpr char RefusedText[] =
    "Plugin outdated or other issue found. Please create a support ticket on Quorvex.";
// Follows the 401's text on its console line.
inline constexpr char RequestsDisabledSuffix[] = ". Disabling requests for this session.";
// After a sync feature's success line: the status and the body.
inline constexpr char SyncedStatusLine[] = "status: {}, response:\n {}";

}  // namespace quorvex::texts::api
