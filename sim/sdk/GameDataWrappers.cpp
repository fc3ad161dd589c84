// The game-data wrappers of host/GameData.h and host/ArrayWrapper.h over sim::game's objects.
// Each wrapper's address is the object named in its helper below. Game thread only.
#include <string>
#include <vector>

#include "host/ArrayWrapper.h"
#include "host/GameData.h"
#include "sim/game/World.h"
#include "sim/sdk/ObjectAt.h"

namespace game = sim::game;

namespace {

template <class T>
std::uintptr_t AddressOf(const T* object)
{
    return reinterpret_cast<std::uintptr_t>(object);
}

const game::Attribute& AttributeOf(const ObjectWrapper& wrapper)
{
    return sim::ObjectAt<const game::Attribute>(wrapper.memory_address, "ProductAttributeWrapper");
}

const game::Product& ProductOf(const OnlineProductWrapper& wrapper)
{
    return sim::ObjectAt<const game::ProductObject>(wrapper.memory_address, "OnlineProductWrapper")
        .Data();
}

const game::ItemsStore& ItemsOf(const ItemsWrapper& wrapper)
{
    return sim::ObjectAt<const game::ItemsStore>(wrapper.memory_address, "ItemsWrapper");
}

const game::Loadout& LoadoutOf(const LoadoutWrapper& wrapper)
{
    return sim::ObjectAt<const game::Loadout>(wrapper.memory_address, "LoadoutWrapper");
}

const game::TradeLobby& TradeOf(const TradeWrapper& wrapper)
{
    return sim::ObjectAt<const game::TradeLobby>(wrapper.memory_address, "TradeWrapper");
}

}  // namespace

// --- Engine arrays ---

template <class T>
int ArrayWrapper<T>::Count() const
{
    if (IsNull()) {
        return 0;
    }
    return static_cast<int>(
        sim::ObjectAt<const game::EngineArray>(memory_address, "ArrayWrapper").elements.size());
}

template <class T>
T ArrayWrapper<T>::Get(int index) const
{
    if (IsNull()) {
        return T(0);
    }
    const auto& elements = sim::ObjectAt<const game::EngineArray>(memory_address, "ArrayWrapper").elements;
    if (index < 0 || static_cast<std::size_t>(index) >= elements.size()) {
        return T(0);
    }
    return T(elements[static_cast<std::size_t>(index)]);
}

// The element types the game's arrays hold.
template class ArrayWrapper<OnlineProductWrapper>;
template class ArrayWrapper<ProductAttributeWrapper>;

// --- Texts and ids ---

std::string UnrealStringWrapper::ToString() const
{
    return sim::ObjectAt<const std::string>(memory_address, "UnrealStringWrapper");
}

std::string UniqueIDWrapper::GetIdString() const
{
    if (IsNull()) {
        return {};
    }
    return sim::ObjectAt<const game::PlayerId>(memory_address, "UniqueIDWrapper").idString;
}

std::string GUIDWrapper::ToString(EGuidFormats format) const
{
    return game::FormatGuid(sim::ObjectAt<const game::Guid>(memory_address, "GUIDWrapper"),
                            format);
}

// --- Attributes ---

std::string ProductAttributeWrapper::GetTypename() const
{
    return AttributeOf(*this).typeName;
}

std::string ProductAttributeWrapper::GetAttributeType() const
{
    return AttributeOf(*this).className;
}

int ProductAttribute_PaintedWrapper::GetPaintID() const
{
    return AttributeOf(*this).value;
}

int ProductAttribute_CertifiedWrapper::GetStatId() const
{
    return AttributeOf(*this).value;
}

int ProductAttribute_CertifiedWrapper::GetStatValue() const
{
    return AttributeOf(*this).statValue;
}

std::uint8_t ProductAttribute_QualityWrapper::GetQuality() const
{
    return static_cast<std::uint8_t>(AttributeOf(*this).value);
}

int ProductAttribute_TeamEditionWrapper::GetId() const
{
    return AttributeOf(*this).value;
}

int ProductAttribute_SpecialEditionWrapper::GetEditionID() const
{
    return AttributeOf(*this).value;
}

int ProductAttribute_BlueprintWrapper::GetProductID() const
{
    return AttributeOf(*this).value;
}

int ProductAttribute_BlueprintCostWrapper::GetCost() const
{
    return AttributeOf(*this).value;
}

// --- Products ---

int ProductWrapper::GetID() const
{
    return sim::ObjectAt<const game::CatalogueProduct>(memory_address, "ProductWrapper").id;
}

std::uint8_t ProductWrapper::GetQuality() const
{
    return sim::ObjectAt<const game::CatalogueProduct>(memory_address, "ProductWrapper").quality;
}

int OnlineProductWrapper::GetProductID() const
{
    return ProductOf(*this).productId;
}

int OnlineProductWrapper::GetSeriesID() const
{
    return ProductOf(*this).seriesId;
}

int OnlineProductWrapper::GetTradeHold() const
{
    return ProductOf(*this).tradeHold;
}

std::uint64_t OnlineProductWrapper::GetInstanceID() const
{
    return ProductOf(*this).instanceId;
}

std::uint8_t OnlineProductWrapper::GetQuality() const
{
    return ProductOf(*this).quality;
}

ArrayWrapper<ProductAttributeWrapper> OnlineProductWrapper::GetAttributes() const
{
    const auto& object =
        sim::ObjectAt<const game::ProductObject>(memory_address, "OnlineProductWrapper");
    return ArrayWrapper<ProductAttributeWrapper>(AddressOf(&object.AttributeArray()));
}

UnrealStringWrapper OnlineProductWrapper::GetLongLabel() const
{
    return UnrealStringWrapper(AddressOf(&ProductOf(*this).longLabel));
}

// --- Loadouts ---

std::vector<std::uint64_t> LoadoutWrapper::GetOnlineLoadout() const
{
    return LoadoutOf(*this).items;
}

std::uint8_t LoadoutWrapper::GetPrimaryPaintColorId() const
{
    return LoadoutOf(*this).primaryPaintColorId;
}

std::uint8_t LoadoutWrapper::GetAccentPaintColorId() const
{
    return LoadoutOf(*this).accentPaintColorId;
}

int LoadoutWrapper::GetPrimaryFinishId() const
{
    return LoadoutOf(*this).primaryFinishId;
}

int LoadoutWrapper::GetAccentFinishId() const
{
    return LoadoutOf(*this).accentFinishId;
}

// --- Trades ---

UniqueIDWrapper TradeWrapper::GetTradingPlayer() const
{
    return UniqueIDWrapper(AddressOf(&TradeOf(*this).partner));
}

ArrayWrapper<OnlineProductWrapper> TradeWrapper::GetSendingProducts() const
{
    return ArrayWrapper<OnlineProductWrapper>(AddressOf(&TradeOf(*this).sending.Array()));
}

ArrayWrapper<OnlineProductWrapper> TradeWrapper::GetReceivingProducts() const
{
    return ArrayWrapper<OnlineProductWrapper>(AddressOf(&TradeOf(*this).receiving.Array()));
}

std::vector<TradeWrapper::Currency> TradeWrapper::GetSendingCurrency() const
{
    return TradeOf(*this).sendingCurrency;
}

std::vector<TradeWrapper::Currency> TradeWrapper::GetReceivingCurrency() const
{
    return TradeOf(*this).receivingCurrency;
}

GUIDWrapper TradeWrapper::GetTradeGuid() const
{
    return GUIDWrapper(AddressOf(&TradeOf(*this).guid));
}

// --- The items store ---

ArrayWrapper<OnlineProductWrapper> ItemsWrapper::GetOwnedProducts() const
{
    return ArrayWrapper<OnlineProductWrapper>(AddressOf(ItemsOf(*this).OwnedProductsArray()));
}

OnlineProductWrapper ItemsWrapper::GetOnlineProduct(std::uint64_t instanceId) const
{
    return OnlineProductWrapper(AddressOf(ItemsOf(*this).FindOwnedProduct(instanceId)));
}

ProductWrapper ItemsWrapper::GetProduct(int productId) const
{
    return ProductWrapper(AddressOf(ItemsOf(*this).FindCatalogueProduct(productId)));
}

UnrealStringWrapper ItemsWrapper::GetCurrentLoadoutName() const
{
    return UnrealStringWrapper(AddressOf(&ItemsOf(*this).LoadoutName()));
}

LoadoutWrapper ItemsWrapper::GetCurrentLoadout(int team) const
{
    return LoadoutWrapper(AddressOf(ItemsOf(*this).FindLoadout(team)));
}

TradeWrapper ItemsWrapper::GetTradeWrapper() const
{
    return TradeWrapper(AddressOf(ItemsOf(*this).CurrentTrade()));
}

// --- The running game ---

GameSettingPlaylistWrapper GameEventWrapper::GetPlaylist() const
{
    const auto& state = sim::ObjectAt<const game::GameState>(memory_address, "GameEventWrapper");
    return GameSettingPlaylistWrapper(state.playlist ? AddressOf(&*state.playlist) : 0);
}

int GameSettingPlaylistWrapper::GetPlaylistId() const
{
    return sim::ObjectAt<const game::Playlist>(memory_address, "GameSettingPlaylistWrapper").id;
}
