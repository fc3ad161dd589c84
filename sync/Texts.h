#pragma once
// The loadout and stats syncs' console lines, toasts and cvar descriptions.
// These are the system's own texts: players, the service's staff and whoever searches a console
// log read them as they are, so each stays exactly as it is, byte for byte, odd spellings
// included. "{}" marks a {fmt} field.

#include "api/SyncFeature.h"

namespace quorvex::texts::sync {

inline constexpr char LoadoutCvarDescription[] = "If loadout sync should be enbled";
inline constexpr SyncResponseTexts LoadoutResponse{
    "LoadoutSync : Code: {}, Response: {}",
    "500 on loadout sync!",
    "Failed to sync loadout ({})!\nError: {}",
    "Failed to sync loadout ({}), response:\n{}",
};
inline constexpr char LoadoutSwitchLine[] = "LoadoutSync::enabled: {} -> {}";
inline constexpr char ExitedGarageLine[] = "Exited the garage";
inline constexpr char LoadoutSyncingLine[] = "Synced loadout";
inline constexpr char LoadoutNameLine[] = "Loadout name: {}";
inline constexpr char TeamLoadoutFailedLine[] = "Failed to get loadout of team: {}";
inline constexpr char TeamLoadoutLine[] = "Got laodout of team: {}";
inline constexpr char ItemDataFailedLine[] = "Failed to get data for item with id: {}";
inline constexpr char LoadoutSyncedToast[] = "Loadout synced!";
inline constexpr char LoadoutSyncedLine[] = "Synced loadout.";
inline constexpr char StatsCvarDescription[] = "If stats live updates should be enbled";
inline constexpr SyncResponseTexts StatsResponse{
    "StatsSync : Code: {}, Response: {}",
    "500 on stats sync!",
    "Failed to update stats ({})!\nError: {}",
    "Failed to update stats ({}), response:\n{}",
};
inline constexpr char StatsSwitchLine[] = "StatsSync::enabled: {} -> {}";
inline constexpr char StatsSyncingLine[] = "Synced stats";
inline constexpr char NotSyncingLine[] = "Not syncing, reason: {}";
inline constexpr char PlaylistLine[] = "Stats sync: Got playlist {}";
inline constexpr char NonPublicMatchLine[] = "Not syncing stats because in non-public match";
inline constexpr char StatsRequestedToast[] = "Stats update requested!";
inline constexpr char StatsRequestedLine[] = "Stats update requested.";

}  // namespace quorvex::texts::sync
