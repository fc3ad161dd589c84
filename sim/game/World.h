#pragma once
// The simulated game as the SDK's game-data wrappers see it: the local player, the items store
// (which can be unavailable, as before the game has loaded it) and the running game, if any.
//
// Threads: game thread only; no locks. Tests and plexar-sim change it between RunFor calls or
// from tasks, which run on the game thread too.
#include <cstdint>
#include <optional>
#include <string>

#include "sim/game/ItemsStore.h"
#include "sim/game/Trade.h"

namespace sim::game {

// The playlist of the running game (GameSettingPlaylistWrapper points here).
struct Playlist {
    std::int32_t id = 0;
};

// The running game (ServerWrapper points here).
struct GameState {
    std::optional<Playlist> playlist;
};

class World {
public:
    explicit World(std::string localPlayerId);

    ItemsStore& Items() { return items_; }
    const ItemsStore& Items() const { return items_; }
    // Off: GetItemsWrapper gives a null wrapper (the store keeps its content).
    void SetItemsAvailable(bool available);

    // Starts a game, in a playlist or none; replaces a running one.
    void EnterGame(std::optional<std::int32_t> playlistId);
    void LeaveGame();

    // --- The addresses the SDK hands out; 0 for none ---
    std::uintptr_t ItemsAddress() const;
    std::uintptr_t GameStateAddress() const;
    std::uintptr_t LocalPlayerAddress() const;

private:
    const PlayerId localPlayer_;
    ItemsStore items_;
    bool itemsAvailable_ = true;
    std::optional<GameState> game_;
};

}  // namespace sim::game
