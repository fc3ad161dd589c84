#pragma once
// The game's items store (ItemsWrapper points here): owned products, the product catalogue, the
// current loadout of both teams and the open trade.
//
// Threads: game thread only; no locks. Tests and plexar-sim change it between RunFor calls or
// from tasks, which run on the game thread too.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/game/Product.h"
#include "sim/game/Trade.h"

namespace sim::game {

// A product kind of the catalogue (ProductWrapper points here).
struct CatalogueProduct {
    std::int32_t id = 0;
    std::uint8_t quality = 0;
};

// One team's loadout (LoadoutWrapper points here).
struct Loadout {
    // Per slot: an owned instance id, a catalogue product id, or 0 for an empty slot.
    std::vector<std::uint64_t> items;
    std::uint8_t primaryPaintColorId = 0;
    std::uint8_t accentPaintColorId = 0;
    std::int32_t primaryFinishId = 0;
    std::int32_t accentFinishId = 0;
};

class ItemsStore {
public:
    // --- Owned products ---
    // The new product's address, stable while it is owned.
    std::uintptr_t AddOwnedProduct(Product product);
    // The removed product (null when not owned). Keep it while hooks that were handed its
    // address run, as the game does while it announces a removal.
    std::unique_ptr<ProductObject> RemoveOwnedProduct(std::uint64_t instanceId);
    const ProductObject* FindOwnedProduct(std::uint64_t instanceId) const;
    // Every owned product, in the store's order.
    std::vector<Product> OwnedProducts() const;
    // The player owns exactly these products from now on (no game event announces it).
    void ReplaceOwnedProducts(std::vector<Product> products);
    // Off: GetOwnedProducts gives a null array.
    void SetOwnedProductsAvailable(bool available);
    // nullptr while unavailable.
    const EngineArray* OwnedProductsArray() const;

    // --- Catalogue ---
    // Adds or replaces the product with this id.
    void AddCatalogueProduct(std::int32_t id, std::uint8_t quality);
    const CatalogueProduct* FindCatalogueProduct(std::int32_t id) const;

    // --- Loadouts (teams 0 and 1) ---
    void SetLoadoutName(std::string name);
    const std::string& LoadoutName() const { return loadoutName_; }
    // Throws std::out_of_range for a team other than 0 or 1.
    void SetLoadout(int team, Loadout loadout);
    void RemoveLoadout(int team);
    // nullptr when the team has no loadout (or is not 0 or 1).
    const Loadout* FindLoadout(int team) const;

    // --- Trade lobby ---
    // Opens the trade, replacing any open one.
    void OpenTrade(Trade trade);
    void CloseTrade();
    // nullptr when no trade is open.
    const TradeLobby* CurrentTrade() const { return trade_.get(); }

private:
    std::unique_ptr<ProductList> owned_ = std::make_unique<ProductList>();
    bool ownedAvailable_ = true;
    std::map<std::int32_t, CatalogueProduct> catalogue_;  // map nodes keep their addresses
    std::string loadoutName_;
    std::array<std::optional<Loadout>, 2> loadouts_;
    std::unique_ptr<TradeLobby> trade_;
};

}  // namespace sim::game
