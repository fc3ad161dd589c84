#pragma once
// Engine functions of the game that plug-ins hook, and the parameter blocks the game hands to
// their hooks (Host::CallFunction passes one as `params`).
#include <cstdint>

namespace sim::game {

namespace function {
inline constexpr char OnNewOnlineProduct[] = "Function TAGame.SaveData_TA.OnNewOnlineProduct";
inline constexpr char OnNewOnlineProductNoNotify[] =
    "Function TAGame.SaveData_TA.OnNewOnlineProductNoNotify";
inline constexpr char HandleRemovedOnlineProduct[] =
    "Function TAGame.Profile_TA.HandleRemovedOnlineProduct";
inline constexpr char PopMenu[] = "Function TAGame.GFxData_MenuStack_TA.PopMenu";
inline constexpr char EventMatchEnded[] = "Function TAGame.GameEvent_Soccar_TA.EventMatchEnded";
inline constexpr char HandleAcceptedInviteToTrade[] =
    "Function TAGame.GFxData_TradeLobby_TA.HandleAcceptedInviteToTrade";
inline constexpr char SendTradeToBackEnd[] =
    "Function TAGame.GFxData_TradeLobby_TA.SendTradeToBackEnd";
inline constexpr char HandleTradePlayerComplete[] =
    "Function TAGame.GFxData_TradeLobby_TA.HandleTradePlayerComplete";
}  // namespace function

// OnNewOnlineProduct and OnNewOnlineProductNoNotify: the new product at offset 0.
struct NewOnlineProductParams {
    std::uintptr_t product = 0;
};

// HandleRemovedOnlineProduct: the removed product at offset 8.
struct RemovedOnlineProductParams {
    std::uintptr_t reserved = 0;
    std::uintptr_t product = 0;
};

// PopMenu: the name index of the menu being left, at offset 0.
struct PopMenuParams {
    std::int32_t menuName = 0;
};

}  // namespace sim::game
