#include "sim/game/ItemsStore.h"

#include <stdexcept>
#include <utility>

namespace sim::game {
namespace {

bool IsTeam(int team)
{
    return team == 0 || team == 1;
}

}  // namespace

std::uintptr_t ItemsStore::AddOwnedProduct(Product product)
{
    return owned_->Add(std::move(product));
}

std::unique_ptr<ProductObject> ItemsStore::RemoveOwnedProduct(std::uint64_t instanceId)
{
    return owned_->Remove(instanceId);
}

std::vector<Product> ItemsStore::OwnedProducts() const
{
    std::vector<Product> products;
    for (const std::uintptr_t address : owned_->Array().elements) {
        products.push_back(reinterpret_cast<const ProductObject*>(address)->Data());
    }
    return products;
}

void ItemsStore::ReplaceOwnedProducts(std::vector<Product> products)
{
    owned_ = std::make_unique<ProductList>(std::move(products));
}

const ProductObject* ItemsStore::FindOwnedProduct(std::uint64_t instanceId) const
{
    return owned_->Find(instanceId);
}

void ItemsStore::SetOwnedProductsAvailable(bool available)
{
    ownedAvailable_ = available;
}

const EngineArray* ItemsStore::OwnedProductsArray() const
{
    return ownedAvailable_ ? &owned_->Array() : nullptr;
}

void ItemsStore::AddCatalogueProduct(std::int32_t id, std::uint8_t quality)
{
    catalogue_[id] = {id, quality};
}

const CatalogueProduct* ItemsStore::FindCatalogueProduct(std::int32_t id) const
{
    const auto found = catalogue_.find(id);
    return found == catalogue_.end() ? nullptr : &found->second;
}

void ItemsStore::SetLoadoutName(std::string name)
{
    loadoutName_ = std::move(name);
}

void ItemsStore::SetLoadout(int team, Loadout loadout)
{
    if (!IsTeam(team)) {
        throw std::out_of_range("plexar-sim: a loadout team is 0 or 1, not " +
                                std::to_string(team));
    }
    loadouts_[static_cast<std::size_t>(team)] = std::move(loadout);
}

void ItemsStore::RemoveLoadout(int team)
{
    if (IsTeam(team)) {
        loadouts_[static_cast<std::size_t>(team)].reset();
    }
}

const Loadout* ItemsStore::FindLoadout(int team) const
{
    if (!IsTeam(team) || !loadouts_[static_cast<std::size_t>(team)]) {
        return nullptr;
    }
    return &*loadouts_[static_cast<std::size_t>(team)];
}

void ItemsStore::OpenTrade(Trade trade)
{
    trade_ = std::make_unique<TradeLobby>(std::move(trade));
}

void ItemsStore::CloseTrade()
{
    trade_.reset();
}

}  // namespace sim::game
