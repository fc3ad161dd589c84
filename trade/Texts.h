#pragma once
// The trade capture's and the trade event handler's console lines, toasts and cvar descriptions.
// These are the system's own texts: players, the service's staff and whoever searches a console
// log read them as they are, so each stays exactly as it is, byte for byte, odd spellings
// included. "{}" marks a {fmt} field.

namespace quorvex::texts::trade {

inline constexpr char HookTradeStartLine[] = "TradeLogger::HookTradeStart";
inline constexpr char HookTradeFinishLine[] = "TradeLogger::HookTradeFinish";
inline constexpr char OnTradeStartLine[] = "TradeLogger::OnTradeStart";
inline constexpr char OnTradeFinishLine[] = "TradeLogger::OnTradeFinish";
inline constexpr char GetTradeDetailsLine[] = "TradeLogger::GetTradeDetails";
inline constexpr char NoTradeWrapperAtStartLine[] = "Failed to get the trade wrapper!";
inline constexpr char NoTradeWrapperLine[] = "Failed to get trade wrapper";
inline constexpr char LocalProductCountLine[] = "Local product count: {}";
inline constexpr char RemoteProductCountLine[] = "Remote product count: {}";
inline constexpr char ScamCheckCvarDescription[] = "If Scam check should be enbled";
inline constexpr char TradeSyncCvarDescription[] = "If trade sync should be enbled";
inline constexpr char HandlerTradeStartLine[] = "TradeEventHandler::OnTradeStart";
inline constexpr char HandlerScammerLine[] = "TradeEventHandler::OnScammerDetected";
inline constexpr char HandlerTradeEndLine[] = "TradeEventHandler::OnTradeEnd";
inline constexpr char PartnerNotBannedToast[] =
    "This player's Skyvolt account is linked to a Quorvex account and has not been banned on Quorvex.";
inline constexpr char PartnerNotLinkedToast[] =
    "This player's Skyvolt account is not linked to any Quorvex account.";
inline constexpr char PartnerScammerToast[] =
    "You are currently trading with a Skyvolt account which has been banned from Quorvex for scamming.";
inline constexpr char PartnerBannedToast[] =
    "You are trading with an account which has been banned from Quorvex for breaking our Terms of Service (not for scamming).";
inline constexpr char ValidateTraderUnknownLine[] = "validateTrader returned unknown http code: {}";
// Toast and console line.
inline constexpr char TradeLoggedText[] = "Trade logged!";
inline constexpr char LogIngameTradeUnknownLine[] = "logIngameTrade returned unknown http code: {}";

}  // namespace quorvex::texts::trade
