// The simulated game as the SDK's game-data wrappers read it.
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHost.h"
#include "sim/game/Functions.h"

namespace sim {
namespace {

using game::Attribute;
using game::Product;

Product PaintedCertifiedProduct(int titleName)
{
    Product product;
    product.productId = 4284;
    product.seriesId = 611;
    product.tradeHold = -1;
    product.instanceId = 18446744073709551615ull;
    product.quality = 255;
    product.longLabel = "Octane: Titanium White";
    product.attributes = {Attribute::Painted(-3), Attribute::Certified(7, 120),
                          Attribute::Title(titleName), Attribute::Quality(255),
                          Attribute::OfClass("ProductAttribute_Mystery_TA", 9)};
    return product;
}

TEST(GameData, OwnedProductsAndTheirAttributesThroughTheWrappers)
{
    test::TestHost host;
    const int title = host->InternName("Sky Legend");
    host->GetWorld().Items().AddOwnedProduct(PaintedCertifiedProduct(title));
    auto game = host->Game();

    ItemsWrapper items = game->GetItemsWrapper();
    ASSERT_TRUE(items);
    ArrayWrapper<OnlineProductWrapper> owned = items.GetOwnedProducts();
    ASSERT_EQ(owned.Count(), 1);
    EXPECT_FALSE(owned.Get(1));
    EXPECT_FALSE(owned.Get(-1));
    OnlineProductWrapper product = owned.Get(0);
    EXPECT_EQ(product.GetProductID(), 4284);
    EXPECT_EQ(product.GetSeriesID(), 611);
    EXPECT_EQ(product.GetTradeHold(), -1);
    EXPECT_EQ(product.GetInstanceID(), 18446744073709551615ull);
    EXPECT_EQ(product.GetQuality(), 255);
    EXPECT_EQ(product.GetLongLabel().ToString(), "Octane: Titanium White");

    ArrayWrapper<ProductAttributeWrapper> attributes = product.GetAttributes();
    ASSERT_EQ(attributes.Count(), 5);
    EXPECT_EQ(attributes.Get(0).GetTypename(), "Painted");
    EXPECT_EQ(attributes.Get(0).GetAttributeType(), "ProductAttribute_Painted_TA");
    EXPECT_EQ(ProductAttribute_PaintedWrapper(attributes.Get(0).memory_address).GetPaintID(), -3);
    ProductAttribute_CertifiedWrapper certified(attributes.Get(1).memory_address);
    EXPECT_EQ(certified.GetStatId(), 7);
    EXPECT_EQ(certified.GetStatValue(), 120);
    EXPECT_EQ(attributes.Get(2).GetAttributeType(), "ProductAttribute_TitleID_TA");
    const int nameIndex =
        ProductAttribute_BlueprintCostWrapper(attributes.Get(2).memory_address).GetCost();
    EXPECT_EQ(game->GetFNameByIndex(nameIndex), "Sky Legend");
    EXPECT_EQ(ProductAttribute_QualityWrapper(attributes.Get(3).memory_address).GetQuality(), 255);
    EXPECT_EQ(attributes.Get(4).GetTypename(), "Mystery");

    EXPECT_EQ(items.GetOnlineProduct(18446744073709551615ull).memory_address,
              product.memory_address);
    EXPECT_FALSE(items.GetOnlineProduct(1));
    EXPECT_EQ(game->GetFNameByIndex(0), "None");
    EXPECT_EQ(game->GetFNameByIndex(99999), "");
}

TEST(GameData, HooksReadAddedAndRemovedProductsFromTheParameterBlock)
{
    test::TestHost host;
    auto& items = host->GetWorld().Items();
    std::vector<std::string> seen;
    auto game = host->Game();
    game->HookEventWithCaller<ActorWrapper>(
        game::function::OnNewOnlineProduct, [&](ActorWrapper, void* params, std::string) {
            OnlineProductWrapper product(*static_cast<std::uintptr_t*>(params));
            seen.push_back("added " + std::to_string(product.GetInstanceID()));
        });
    game->HookEventWithCaller<ActorWrapper>(
        game::function::HandleRemovedOnlineProduct,
        [&](ActorWrapper, void* params, std::string) {
            OnlineProductWrapper product(static_cast<std::uintptr_t*>(params)[1]);
            seen.push_back("removed " + std::to_string(product.GetInstanceID()));
        });

    Product product;
    product.instanceId = 42;
    game::NewOnlineProductParams added{items.AddOwnedProduct(product)};
    host->CallFunction(game::function::OnNewOnlineProduct, 0, &added);

    const auto removed = items.RemoveOwnedProduct(42);
    ASSERT_TRUE(removed);
    EXPECT_EQ(game->GetItemsWrapper().GetOwnedProducts().Count(), 0);
    game::RemovedOnlineProductParams removal{0, removed->Address()};
    host->CallFunction(game::function::HandleRemovedOnlineProduct, 0, &removal);
    EXPECT_EQ(seen, (std::vector<std::string>{"added 42", "removed 42"}));
    EXPECT_FALSE(items.RemoveOwnedProduct(42));
}

TEST(GameData, SwitchesMakeTheItemsStoreOrItsOwnedProductsUnavailable)
{
    test::TestHost host;
    auto& world = host->GetWorld();
    world.Items().AddOwnedProduct(Product{});
    world.Items().SetOwnedProductsAvailable(false);
    auto owned = host->Game()->GetItemsWrapper().GetOwnedProducts();
    EXPECT_TRUE(owned.IsNull());
    EXPECT_EQ(owned.Count(), 0);
    world.SetItemsAvailable(false);
    EXPECT_FALSE(host->Game()->GetItemsWrapper());
    world.SetItemsAvailable(true);
    world.Items().SetOwnedProductsAvailable(true);
    EXPECT_EQ(host->Game()->GetItemsWrapper().GetOwnedProducts().Count(), 1);
}

TEST(GameData, CatalogueAndLoadouts)
{
    test::TestHost host;
    auto& items = host->GetWorld().Items();
    items.AddCatalogueProduct(23, 1);
    items.SetLoadoutName("Main");
    game::Loadout loadout;
    loadout.items = {0, 23, 99};
    loadout.primaryPaintColorId = 4;
    loadout.accentPaintColorId = 200;
    loadout.primaryFinishId = 270;
    loadout.accentFinishId = -5;
    items.SetLoadout(0, loadout);
    EXPECT_THROW(items.SetLoadout(2, loadout), std::out_of_range);

    ItemsWrapper wrapper = host->Game()->GetItemsWrapper();
    EXPECT_EQ(wrapper.GetProduct(23).GetID(), 23);
    EXPECT_EQ(wrapper.GetProduct(23).GetQuality(), 1);
    EXPECT_FALSE(wrapper.GetProduct(99));
    EXPECT_EQ(wrapper.GetCurrentLoadoutName().ToString(), "Main");
    LoadoutWrapper team0 = wrapper.GetCurrentLoadout(0);
    EXPECT_EQ(team0.GetOnlineLoadout(), (std::vector<std::uint64_t>{0, 23, 99}));
    EXPECT_EQ(team0.GetPrimaryPaintColorId(), 4);
    EXPECT_EQ(team0.GetAccentPaintColorId(), 200);
    EXPECT_EQ(team0.GetPrimaryFinishId(), 270);
    EXPECT_EQ(team0.GetAccentFinishId(), -5);
    EXPECT_FALSE(wrapper.GetCurrentLoadout(1));
    EXPECT_FALSE(wrapper.GetCurrentLoadout(7));
}

TEST(GameData, TradeLobbyWithBothSidesAndItsGuid)
{
    test::TestHost host;
    auto& items = host->GetWorld().Items();
    EXPECT_FALSE(host->Game()->GetItemsWrapper().GetTradeWrapper());

    game::Trade trade;
    trade.partnerId = "Steam|765611|0";
    trade.sending.push_back(Product{1, 0, 0, 100, 3, "", {}});
    trade.receiving.push_back(Product{2, 0, 0, 200, 4, "", {}});
    trade.receiving.push_back(Product{3, 0, 0, 300, 5, "", {}});
    trade.sendingCurrency = {{13, 0}};
    trade.receivingCurrency = {{13, -250}};
    trade.guid = {0xA, 0x1B2C3D4E, 0xDEADBEEF, 0x0};
    items.OpenTrade(trade);

    TradeWrapper lobby = host->Game()->GetItemsWrapper().GetTradeWrapper();
    ASSERT_TRUE(lobby);
    EXPECT_EQ(lobby.GetTradingPlayer().GetIdString(), "Steam|765611|0");
    EXPECT_EQ(lobby.GetSendingProducts().Get(0).GetInstanceID(), 100u);
    EXPECT_EQ(lobby.GetReceivingProducts().Count(), 2);
    EXPECT_EQ(lobby.GetReceivingProducts().Get(1).GetProductID(), 3);
    EXPECT_EQ(lobby.GetSendingCurrency().at(0).quantity, 0);
    EXPECT_EQ(lobby.GetReceivingCurrency().at(0).quantity, -250);
    GUIDWrapper guid = lobby.GetTradeGuid();
    EXPECT_EQ(guid.ToString(GUIDWrapper::EGuidFormats::UniqueObjectGuid),
              "0000000A-1B2C3D4E-DEADBEEF-00000000");
    EXPECT_EQ(guid.ToString(GUIDWrapper::EGuidFormats::DigitsWithHyphensInBraces),
              "{0000000A-1B2C-3D4E-DEAD-BEEF00000000}");
    EXPECT_EQ(guid.ToString(GUIDWrapper::EGuidFormats::Digits),
              "0000000A1B2C3D4EDEADBEEF00000000");

    items.CloseTrade();
    EXPECT_FALSE(host->Game()->GetItemsWrapper().GetTradeWrapper());
}

TEST(GameData, RunningGameAndPlaylist)
{
    test::TestHost host;
    auto game = host->Game();
    EXPECT_FALSE(game->GetCurrentGameState());
    host->GetWorld().EnterGame(13);
    EXPECT_EQ(game->GetCurrentGameState().GetPlaylist().GetPlaylistId(), 13);
    host->GetWorld().EnterGame(std::nullopt);
    ServerWrapper server = game->GetCurrentGameState();
    ASSERT_TRUE(server);
    EXPECT_FALSE(server.GetPlaylist());
    host->GetWorld().LeaveGame();
    EXPECT_FALSE(game->GetCurrentGameState());
}

TEST(GameData, UsingANullWrapperThrowsNamingIt)
{
    try {
        OnlineProductWrapper().GetProductID();
        FAIL() << "no exception";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "plexar-sim: OnlineProductWrapper used while null");
    }
    EXPECT_EQ(UniqueIDWrapper().GetIdString(), "");
}

}  // namespace
}  // namespace sim
