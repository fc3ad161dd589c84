#pragma once
// The inventory sync's console lines, toasts, cvar description and URL queries.
// These are the system's own texts: players, the service's staff and whoever searches a console
// log read them as they are, so each stays exactly as it is, byte for byte, odd spellings
// included. "{}" marks a {fmt} field.

#include "api/SyncFeature.h"

namespace quorvex::texts::inventory {

inline constexpr char EnableCvarDescription[] = "If Inventory sync should be enbled";
inline constexpr SyncResponseTexts SyncResponse{
    "InventorySyncResponse : Code: {}, Response: {}",
    "500 on inventory sync!",
    "Failed to sync inventory ({})!\nError: {}",
    "Failed to sync inventory ({}), response:\n{}",
};
inline constexpr SyncResponseTexts ToggleResponse{
    "InventorySyncToggleResponse : Code: {}, Response: {}",
    "500 on inventory sync toggle!",
    "Failed to toggle inventory sync ({})!\nError: {}",
    "Failed to toggle inventory sync ({}), response:\n{}",
};
inline constexpr char FullSyncQuery[] = "?lastRequest";
// Followed by the stored guid.
inline constexpr char DiffSyncQuery[] = "?lastRequest=";
inline constexpr char ChangedDuringWaitLine[] = "Inventory changed since the timeout was started";
inline constexpr char SyncingLine[] = "Syncing inventory";
inline constexpr char AttemptingLine[] = "Attempting sync...";
inline constexpr char UnableToSyncLine[] = "Unable to sync, reason: {}";
// The kind (FullSyncKind or DiffSyncKind), then the URL.
inline constexpr char RequestingLine[] = "Requesting a {} at {}";
inline constexpr char FullSyncKind[] = "full sync";
inline constexpr char DiffSyncKind[] = "diff sync";
inline constexpr char SyncedToast[] = "Inventory synced!";
inline constexpr char SyncedLine[] = "Synced inventory.";
inline constexpr char GotGuidLine[] = "Got guid {}";
inline constexpr char FullResyncLine[] = "Full resync requested, retrying in 10 secs...";
inline constexpr char FullResyncAgainLine[] = "Already sent full sync but full resync wanted!";
inline constexpr char ToggledOnToast[] = "Inventory sync toggled on";
inline constexpr char ToggledOffToast[] = "Inventory sync toggled off";
inline constexpr char DiffLine[] = "Inventory diff: Old GUID: {}, # added: {}, # removed: {}";
// Thrown while reading the owned products.
inline constexpr char NoItemError[] = "ItemWrapper null";
inline constexpr char NoProductsError[] = "owned products null";

}  // namespace quorvex::texts::inventory
