#include "sim/game/World.h"

#include <utility>

namespace sim::game {

World::World(std::string localPlayerId) : localPlayer_{std::move(localPlayerId)} {}

void World::SetItemsAvailable(bool available)
{
    itemsAvailable_ = available;
}

void World::EnterGame(std::optional<std::int32_t> playlistId)
{
    game_.emplace();
    if (playlistId) {
        game_->playlist = Playlist{*playlistId};
    }
}

void World::LeaveGame()
{
    game_.reset();
}

std::uintptr_t World::ItemsAddress() const
{
    return itemsAvailable_ ? reinterpret_cast<std::uintptr_t>(&items_) : 0;
}

std::uintptr_t World::GameStateAddress() const
{
    return game_ ? reinterpret_cast<std::uintptr_t>(&*game_) : 0;
}

std::uintptr_t World::LocalPlayerAddress() const
{
    return reinterpret_cast<std::uintptr_t>(&localPlayer_);
}

}  // namespace sim::game
