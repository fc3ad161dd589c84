// The system's own texts: console lines, toasts, the warning dialog, cvar descriptions, URL paths and
// the settings page's labels, each compared byte for byte with the text players, the service and
// log readers know, odd spellings included. A change to one of these texts is a change of
// behaviour, not a cosmetic edit.
#include <string_view>

#include <gtest/gtest.h>

#include "api/Texts.h"
#include "core/Texts.h"
#include "inventory/Texts.h"
#include "plugin/Texts.h"
#include "sync/Texts.h"
#include "trade/Texts.h"
#include "ws/Texts.h"

namespace quorvex {
namespace {

struct PinnedText {
    const char* name;
    std::string_view actual;
    std::string_view expected;
};

#define PINNED(constant, text) PinnedText{#constant, constant, text}

const PinnedText PinnedTexts[] = {
    PINNED(texts::core::ExceptionLine, "Exception in {}: {}"),
    PINNED(texts::core::UnknownExceptionLine, "Unknown exception in {}"),
    PINNED(texts::core::NoListenersLine, "Warning: Dispatching event with no listeners "),
    PINNED(texts::core::StorageCreatedLine, "PersistentStorage: created and will store the data in {}"),
    PINNED(texts::core::StorageLoadingLine, "PersistentStorage: Loading the persistent storage cfg"),
    PINNED(texts::core::CvarRegisterFailedLine, "PersistentStorage: Failed to register the cvar {}"),
    PINNED(texts::core::CvarNotRegisteredLine,
           "PersistentStorage: Warning the cvar {} should be registered before adding it to persistent storage"),
    PINNED(texts::core::ToastsCvarDescription, "If QVX toasts should pop up"),
    PINNED(texts::api::UrlScheme, "https://"),
    PINNED(texts::api::SmartSyncPath, "/api/v2/inventory/smartSync.php"),
    PINNED(texts::api::ToggleSyncPath, "/api/v2/inventory/toggleSync.php?status={}"),
    PINNED(texts::api::LoadoutPath, "/api/v2/inventory/loadout.php"),
    PINNED(texts::api::StatsPath, "/api/v2/stats/ingame.php"),
    PINNED(texts::api::ValidateTraderPath, "/api/v2/system/validateTrader.php"),
    PINNED(texts::api::LogIngameTradePath, "/api/v2/trading/logIngameTrade.php"),
    PINNED(texts::api::UserCodeCvarDescription, "User code for QVX"),
    PINNED(texts::api::UserCodeChangedLine, "new user code set: {} -> {}"),
    PINNED(texts::api::InvalidJsonLine, "Invalid Json in response: {}"),
    PINNED(texts::api::ResponseParseFailedLine, "Exception thrown while parsing respose message: {}"),
    PINNED(texts::api::RefusedText,
           "Plugin outdated or other issue found. Please create a support ticket on Quorvex."),
    PINNED(texts::api::RequestsDisabledSuffix, ". Disabling requests for this session."),
    PINNED(texts::api::SyncedStatusLine, "status: {}, response:\n {}"),
    PINNED(texts::inventory::EnableCvarDescription, "If Inventory sync should be enbled"),
    PINNED(texts::inventory::SyncResponse.firstLogLine, "InventorySyncResponse : Code: {}, Response: {}"),
    PINNED(texts::inventory::SyncResponse.serverErrorLogLine, "500 on inventory sync!"),
    PINNED(texts::inventory::SyncResponse.failureToast, "Failed to sync inventory ({})!\nError: {}"),
    PINNED(texts::inventory::SyncResponse.failureLogLine, "Failed to sync inventory ({}), response:\n{}"),
    PINNED(texts::inventory::ToggleResponse.firstLogLine, "InventorySyncToggleResponse : Code: {}, Response: {}"),
    PINNED(texts::inventory::ToggleResponse.serverErrorLogLine, "500 on inventory sync toggle!"),
    PINNED(texts::inventory::ToggleResponse.failureToast, "Failed to toggle inventory sync ({})!\nError: {}"),
    PINNED(texts::inventory::ToggleResponse.failureLogLine, "Failed to toggle inventory sync ({}), response:\n{}"),
    PINNED(texts::inventory::FullSyncQuery, "?lastRequest"),
    PINNED(texts::inventory::DiffSyncQuery, "?lastRequest="),
    PINNED(texts::inventory::ChangedDuringWaitLine, "Inventory changed since the timeout was started"),
    PINNED(texts::inventory::SyncingLine, "Syncing inventory"),
    PINNED(texts::inventory::AttemptingLine, "Attempting sync..."),
    PINNED(texts::inventory::UnableToSyncLine, "Unable to sync, reason: {}"),
    PINNED(texts::inventory::RequestingLine, "Requesting a {} at {}"),
    PINNED(texts::inventory::FullSyncKind, "full sync"),
    PINNED(texts::inventory::DiffSyncKind, "diff sync"),
    PINNED(texts::inventory::SyncedToast, "Inventory synced!"),
    PINNED(texts::inventory::SyncedLine, "Synced inventory."),
    PINNED(texts::inventory::GotGuidLine, "Got guid {}"),
    PINNED(texts::inventory::FullResyncLine, "Full resync requested, retrying in 10 secs..."),
    PINNED(texts::inventory::FullResyncAgainLine, "Already sent full sync but full resync wanted!"),
    PINNED(texts::inventory::ToggledOnToast, "Inventory sync toggled on"),
    PINNED(texts::inventory::ToggledOffToast, "Inventory sync toggled off"),
    PINNED(texts::inventory::DiffLine, "Inventory diff: Old GUID: {}, # added: {}, # removed: {}"),
    PINNED(texts::inventory::NoItemError, "ItemWrapper null"),
    PINNED(texts::inventory::NoProductsError, "owned products null"),
    PINNED(texts::sync::LoadoutCvarDescription, "If loadout sync should be enbled"),
    PINNED(texts::sync::LoadoutResponse.firstLogLine, "LoadoutSync : Code: {}, Response: {}"),
    PINNED(texts::sync::LoadoutResponse.serverErrorLogLine, "500 on loadout sync!"),
    PINNED(texts::sync::LoadoutResponse.failureToast, "Failed to sync loadout ({})!\nError: {}"),
    PINNED(texts::sync::LoadoutResponse.failureLogLine, "Failed to sync loadout ({}), response:\n{}"),
    PINNED(texts::sync::LoadoutSwitchLine, "LoadoutSync::enabled: {} -> {}"),
    PINNED(texts::sync::ExitedGarageLine, "Exited the garage"),
    PINNED(texts::sync::LoadoutSyncingLine, "Synced loadout"),
    PINNED(texts::sync::LoadoutNameLine, "Loadout name: {}"),
    PINNED(texts::sync::TeamLoadoutFailedLine, "Failed to get loadout of team: {}"),
    PINNED(texts::sync::TeamLoadoutLine, "Got laodout of team: {}"),
    PINNED(texts::sync::ItemDataFailedLine, "Failed to get data for item with id: {}"),
    PINNED(texts::sync::LoadoutSyncedToast, "Loadout synced!"),
    PINNED(texts::sync::LoadoutSyncedLine, "Synced loadout."),
    PINNED(texts::sync::StatsCvarDescription, "If stats live updates should be enbled"),
    PINNED(texts::sync::StatsResponse.firstLogLine, "StatsSync : Code: {}, Response: {}"),
    PINNED(texts::sync::StatsResponse.serverErrorLogLine, "500 on stats sync!"),
    PINNED(texts::sync::StatsResponse.failureToast, "Failed to update stats ({})!\nError: {}"),
    PINNED(texts::sync::StatsResponse.failureLogLine, "Failed to update stats ({}), response:\n{}"),
    PINNED(texts::sync::StatsSwitchLine, "StatsSync::enabled: {} -> {}"),
    PINNED(texts::sync::StatsSyncingLine, "Synced stats"),
    PINNED(texts::sync::NotSyncingLine, "Not syncing, reason: {}"),
    PINNED(texts::sync::PlaylistLine, "Stats sync: Got playlist {}"),
    PINNED(texts::sync::NonPublicMatchLine, "Not syncing stats because in non-public match"),
    PINNED(texts::sync::StatsRequestedToast, "Stats update requested!"),
    PINNED(texts::sync::StatsRequestedLine, "Stats update requested."),
    PINNED(texts::trade::HookTradeStartLine, "TradeLogger::HookTradeStart"),
    PINNED(texts::trade::HookTradeFinishLine, "TradeLogger::HookTradeFinish"),
    PINNED(texts::trade::OnTradeStartLine, "TradeLogger::OnTradeStart"),
    PINNED(texts::trade::OnTradeFinishLine, "TradeLogger::OnTradeFinish"),
    PINNED(texts::trade::GetTradeDetailsLine, "TradeLogger::GetTradeDetails"),
    PINNED(texts::trade::NoTradeWrapperAtStartLine, "Failed to get the trade wrapper!"),
    PINNED(texts::trade::NoTradeWrapperLine, "Failed to get trade wrapper"),
    PINNED(texts::trade::LocalProductCountLine, "Local product count: {}"),
    PINNED(texts::trade::RemoteProductCountLine, "Remote product count: {}"),
    PINNED(texts::trade::ScamCheckCvarDescription, "If Scam check should be enbled"),
    PINNED(texts::trade::TradeSyncCvarDescription, "If trade sync should be enbled"),
    PINNED(texts::trade::HandlerTradeStartLine, "TradeEventHandler::OnTradeStart"),
    PINNED(texts::trade::HandlerScammerLine, "TradeEventHandler::OnScammerDetected"),
    PINNED(texts::trade::HandlerTradeEndLine, "TradeEventHandler::OnTradeEnd"),
    PINNED(texts::trade::PartnerNotBannedToast,
           "This player's Skyvolt account is linked to a Quorvex account and has not been banned on Quorvex."),
    PINNED(texts::trade::PartnerNotLinkedToast,
           "This player's Skyvolt account is not linked to any Quorvex account."),
    PINNED(texts::trade::PartnerScammerToast,
           "You are currently trading with a Skyvolt account which has been banned from Quorvex for scamming."),
    PINNED(texts::trade::PartnerBannedToast,
           "You are trading with an account which has been banned from Quorvex for breaking our Terms of Service (not for scamming)."),
    PINNED(texts::trade::ValidateTraderUnknownLine, "validateTrader returned unknown http code: {}"),
    PINNED(texts::trade::TradeLoggedText, "Trade logged!"),
    PINNED(texts::trade::LogIngameTradeUnknownLine, "logIngameTrade returned unknown http code: {}"),
    PINNED(texts::ws::StartingLine, "Local websocket server: Startin server thread"),
    PINNED(texts::ws::ListeningLine, "Local websocket server: Listening on {}."),
    PINNED(texts::ws::StoppingLine, "Local websocket server: Stopping"),
    PINNED(texts::ws::InitFailedLine, "Local websocket server: failed to init."),
    PINNED(texts::ws::ClientConnectedLine, "Local websocket server: Client connected"),
    PINNED(texts::ws::ClientDisconnectedLine, "Local websocket server: Client disonnected"),
    PINNED(texts::ws::NotAcceptingLine, "Local websocket server: Not accepting new connections"),
    PINNED(texts::ws::ClosingConnectionLine, "Local websocket server: Closing a client connection"),
    PINNED(texts::ws::WaitingLine, "Local websocket server: Waiting.."),
    PINNED(texts::ws::JoiningLine, "joining?"),
    PINNED(texts::ws::JoinedLine, "joined"),
    PINNED(texts::ws::StopCloseReason, "Server stopping"),
    PINNED(texts::plugin::LoadedLine, "Plugin loaded!"),
    PINNED(texts::plugin::UnloadedLine, "Plugin unloaded!"),
    PINNED(texts::plugin::UserCodeReceivedLine, "Received user code, setting it."),
    PINNED(texts::plugin::UserCodeSetToast, "Your user code was set!"),
    PINNED(texts::plugin::UserCodeReply, "OK"),
    PINNED(texts::plugin::ScammerModalTitle, "Scammer detected"),
    PINNED(texts::plugin::ScammerModalIcon, "Texture2D gfx_shared.Icon_Alert"),
    PINNED(texts::plugin::ScammerModalBody,
           "You are currently trading with a Skyvolt account which has been banned from Quorvex for scamming.\nProceed with caution!"),
    PINNED(texts::plugin::ScammerModalButton, "OK"),
    PINNED(texts::plugin::FeaturesHeading, "Features enable/disable"),
    PINNED(texts::plugin::InventorySwitchLabel, "Enable inventory sync (Syncs your tradable inventory with Quorvex)"),
    PINNED(texts::plugin::LoadoutSwitchLabel,
           "Enable loadout sync (Syncs your current loadout with Quorvex - Coming soon!)"),
    PINNED(texts::plugin::StatsSwitchLabel,
           "Enable stats & ranks live updates (Updates your stats & ranks on Quorvex everytime you finish a ranked match)"),
    PINNED(texts::plugin::ScamCheckSwitchLabel,
           "Enable trade scammer check (Shows a warning if you're about to trade with a scammer)"),
    PINNED(texts::plugin::TradeLogSwitchLabel,
           "Enable trade logging (Allows Quorvex staff to validate your ingame trades on disputes)"),
    PINNED(texts::plugin::MissingCvarFormat, "cvar %s not found"),
    PINNED(texts::plugin::DisabledLabel, "Disabled"),
    PINNED(texts::plugin::UserCodeSetLabel, "User code set"),
    PINNED(texts::plugin::UserCodeNotSetLabel, "User code not set"),
    PINNED(texts::plugin::ToastsSwitchLabel, "Enable toasts"),
    PINNED(texts::plugin::SyncInventoryButton, "Sync Inventory"),
    PINNED(texts::plugin::InventoryWaitFormat, "Please wait %i seconds before syncing inventory again!"),
    PINNED(texts::plugin::SyncLoadoutButton, "Sync Loadout"),
    PINNED(texts::plugin::LoadoutWaitFormat, "Please wait %i seconds before syncing loadout again!"),
    PINNED(texts::plugin::NoUserCodeFormat, "You do not have an user code set! Please visit %s/sync to get one"),
};

#undef PINNED

TEST(SystemTextsTest, EveryTextIsExactlyTheSystemsOwn)
{
    for (const PinnedText& pinned : PinnedTexts) {
        EXPECT_EQ(pinned.actual, pinned.expected) << pinned.name;
    }
}

// The spellings that look like typos are the ones players and log readers know.
TEST(SystemTextsTest, TheOddSpellingsStay)
{
    for (const std::string_view odd : {"enbled", "respose", "Startin", "disonnected", "laodout", "everytime"}) {
        bool found = false;
        for (const PinnedText& pinned : PinnedTexts) {
            found = found || pinned.actual.find(odd) != std::string_view::npos;
        }
        EXPECT_TRUE(found) << odd;
    }
}

}  // namespace
}  // namespace quorvex
