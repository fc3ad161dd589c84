#pragma once
// Read-only wrappers over the game's objects: online products and their attributes, the items
// store, loadouts, trades, player ids and the running game. All are called on the game thread.
#include <cstdint>
#include <string>
#include <vector>

#include "host/ArrayWrapper.h"
#include "host/ObjectWrapper.h"

class UnrealStringWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;
    // The text as UTF-8 bytes, exactly as the game holds them (not checked for validity).
    std::string ToString() const;
};

class UniqueIDWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;
    // "Platform|AccountId|SplitscreenId"; empty for a null id.
    std::string GetIdString() const;
};

class GUIDWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;
    enum class EGuidFormats : std::uint8_t {
        Digits = 0,
        DigitsWithHyphens = 1,
        DigitsWithHyphensInBraces = 2,
        DigitsWithHyphensInParentheses = 3,
        HexValuesInBraces = 4,
        UniqueObjectGuid = 5,
    };
    std::string ToString(EGuidFormats format) const;
};

class ProductAttributeWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;
    std::string GetTypename() const;
    std::string GetAttributeType() const;
};

class ProductAttribute_PaintedWrapper : public ProductAttributeWrapper {
public:
    using ProductAttributeWrapper::ProductAttributeWrapper;
    int GetPaintID() const;
};

class ProductAttribute_CertifiedWrapper : public ProductAttributeWrapper {
public:
    using ProductAttributeWrapper::ProductAttributeWrapper;
    int GetStatId() const;
    int GetStatValue() const;
};

class ProductAttribute_QualityWrapper : public ProductAttributeWrapper {
public:
    using ProductAttributeWrapper::ProductAttributeWrapper;
    std::uint8_t GetQuality() const;
};

class ProductAttribute_TeamEditionWrapper : public ProductAttributeWrapper {
public:
    using ProductAttributeWrapper::ProductAttributeWrapper;
    int GetId() const;
};

class ProductAttribute_SpecialEditionWrapper : public ProductAttributeWrapper {
public:
    using ProductAttributeWrapper::ProductAttributeWrapper;
    int GetEditionID() const;
};

class ProductAttribute_BlueprintWrapper : public ProductAttributeWrapper {
public:
    using ProductAttributeWrapper::ProductAttributeWrapper;
    int GetProductID() const;
};

// Also the view of a title attribute, whose cost is the index of the title's name.
class ProductAttribute_BlueprintCostWrapper : public ProductAttributeWrapper {
public:
    using ProductAttributeWrapper::ProductAttributeWrapper;
    int GetCost() const;
};

// A product kind from the game's catalogue (not an owned copy).
class ProductWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;
    int GetID() const;
    std::uint8_t GetQuality() const;
};

// One owned copy of a product.
class OnlineProductWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;
    int GetProductID() const;
    int GetSeriesID() const;
    int GetTradeHold() const;
    std::uint64_t GetInstanceID() const;
    std::uint8_t GetQuality() const;
    ArrayWrapper<ProductAttributeWrapper> GetAttributes() const;
    UnrealStringWrapper GetLongLabel() const;
};

class LoadoutWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;
    // Item ids of the loadout's slots: owned instance ids, catalogue product ids, or 0 for empty.
    std::vector<std::uint64_t> GetOnlineLoadout() const;
    std::uint8_t GetPrimaryPaintColorId() const;
    std::uint8_t GetAccentPaintColorId() const;
    int GetPrimaryFinishId() const;
    int GetAccentFinishId() const;
};

class TradeWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;
    struct Currency {
        std::int32_t currencyId;
        std::int32_t quantity;
    };
    UniqueIDWrapper GetTradingPlayer() const;
    ArrayWrapper<OnlineProductWrapper> GetSendingProducts() const;
    ArrayWrapper<OnlineProductWrapper> GetReceivingProducts() const;
    std::vector<Currency> GetSendingCurrency() const;
    std::vector<Currency> GetReceivingCurrency() const;
    GUIDWrapper GetTradeGuid() const;
};

class ItemsWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;
    ArrayWrapper<OnlineProductWrapper> GetOwnedProducts() const;
    // A null wrapper when no owned copy has this instance id.
    OnlineProductWrapper GetOnlineProduct(std::uint64_t instanceId) const;
    // A null wrapper when the catalogue has no product with this id.
    ProductWrapper GetProduct(int productId) const;
    UnrealStringWrapper GetCurrentLoadoutName() const;
    // team 0 or 1; a null wrapper when that team has no loadout.
    LoadoutWrapper GetCurrentLoadout(int team) const;
    TradeWrapper GetTradeWrapper() const;
};

class GameSettingPlaylistWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;
    int GetPlaylistId() const;
};

class GameEventWrapper : public ActorWrapper {
public:
    using ActorWrapper::ActorWrapper;
    GameSettingPlaylistWrapper GetPlaylist() const;
};

class ServerWrapper : public GameEventWrapper {
public:
    using GameEventWrapper::GameEventWrapper;
};
