#pragma once
// The plug-in object's console lines, toast, reply and warning dialog, and the settings page's texts.
// These are the system's own texts: players, the service's staff and whoever searches a console
// log read them as they are, so each stays exactly as it is, byte for byte, odd spellings
// included. "{}" marks a {fmt} field.

namespace quorvex::texts::plugin {

inline constexpr char LoadedLine[] = "Plugin loaded!";
inline constexpr char UnloadedLine[] = "Plugin unloaded!";
inline constexpr char UserCodeReceivedLine[] = "Received user code, setting it.";
inline constexpr char UserCodeSetToast[] = "Your user code was set!";
inline constexpr char OtherAccountToast[] = "Your game is now linked to a different Quorvex account.";
inline constexpr char UserCodeForSessionToast[] =
    "Your user code is set for this session only: the settings file could not be written.";
inline constexpr char OtherAccountForSessionToast[] =
    "Your game is now linked to a different Quorvex account, for this session only: the settings file could not be "
    "written.";
// The seconds between two changes.
inline constexpr char UserCodeTooSoonLine[] =
    "Refused a change of the user code: the last change was less than {} seconds ago";
// The reply to a "UserCode" message.
inline constexpr char UserCodeReply[] = "OK";
inline constexpr char ScammerModalTitle[] = "Scammer detected";
inline constexpr char ScammerModalIcon[] = "Texture2D gfx_shared.Icon_Alert";
inline constexpr char ScammerModalBody[] =
    "You are currently trading with a Skyvolt account which has been banned from Quorvex for scamming.\n"
    "Proceed with caution!";
inline constexpr char ScammerModalButton[] = "OK";
inline constexpr char FeaturesHeading[] = "Features enable/disable";
inline constexpr char InventorySwitchLabel[] =
    "Enable inventory sync (Syncs your tradable inventory with Quorvex)";
inline constexpr char LoadoutSwitchLabel[] =
    "Enable loadout sync (Syncs your current loadout with Quorvex - Coming soon!)";
inline constexpr char StatsSwitchLabel[] =
    "Enable stats & ranks live updates (Updates your stats & ranks on Quorvex everytime you finish a ranked match)";
inline constexpr char ScamCheckSwitchLabel[] =
    "Enable trade scammer check (Shows a warning if you're about to trade with a scammer)";
inline constexpr char TradeLogSwitchLabel[] =
    "Enable trade logging (Allows Quorvex staff to validate your ingame trades on disputes)";
// A printf format: the cvar's name.
inline constexpr char MissingCvarFormat[] = "cvar %s not found";
inline constexpr char DisabledLabel[] = "Disabled";
inline constexpr char UserCodeSetLabel[] = "User code set";
inline constexpr char UserCodeNotSetLabel[] = "User code not set";
inline constexpr char ToastsSwitchLabel[] = "Enable toasts";
inline constexpr char SyncInventoryButton[] = "Sync Inventory";
// A printf format: the seconds left.
inline constexpr char InventoryWaitFormat[] = "Please wait %i seconds before syncing inventory again!";
inline constexpr char SyncLoadoutButton[] = "Sync Loadout";
// A printf format: the seconds left.
inline constexpr char LoadoutWaitFormat[] = "Please wait %i seconds before syncing loadout again!";
// A printf format: the service's site.
inline constexpr char NoUserCodeFormat[] =
    "You do not have an user code set! Please visit %s/sync to get one";

}  // namespace quorvex::texts::plugin
