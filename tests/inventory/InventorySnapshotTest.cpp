#include "inventory/InventorySnapshot.h"

#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

constexpr std::uint64_t TwoTo63 = 9223372036854775808ull;

ProductData Item(std::uint64_t instanceId, std::int32_t productId = 1)
{
    return ProductData{productId, 0, 0, instanceId, 0, {}};
}

std::vector<std::uint64_t> Ids(const std::vector<ProductData>& items)
{
    std::vector<std::uint64_t> ids;
    for (const auto& item : items) {
        ids.push_back(item.InstanceID);
    }
    return ids;
}

struct DiffCase {
    const char* name;
    std::vector<ProductData> current;
    std::vector<ProductData> stored;
    std::vector<std::uint64_t> added;
    std::vector<std::uint64_t> removed;
};

class DiffByInstanceIdTest : public ::testing::TestWithParam<DiffCase> {};

TEST_P(DiffByInstanceIdTest, IsTheMultisetDifferenceBothWaysInAscendingIdOrder)
{
    const InventoryDiff diff = DiffByInstanceId(GetParam().current, GetParam().stored);
    EXPECT_EQ(Ids(diff.added), GetParam().added);
    EXPECT_EQ(Ids(diff.removed), GetParam().removed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DiffByInstanceIdTest,
    ::testing::Values(
        DiffCase{"EmptySnapshot", {Item(3), Item(1), Item(2)}, {}, {1, 2, 3}, {}},
        DiffCase{"SameItemsInAnotherOrder", {Item(1), Item(2), Item(3)}, {Item(3), Item(1), Item(2)}, {}, {}},
        DiffCase{"OneTradedAwayOneReceived", {Item(1), Item(4)}, {Item(2), Item(1)}, {4}, {2}},
        DiffCase{"ChangedAttributesKeepTheItem", {ProductData{9, 9, 9, 5, 9, {{"Painted", "2"}}}}, {Item(5)}, {}, {}},
        DiffCase{"DuplicateIdsPairOffOneToOne", {Item(7), Item(7), Item(7), Item(8)}, {Item(7), Item(8), Item(7), Item(8)},
                 {7}, {8}},
        DiffCase{"IdsAtAndAbove2To63CompareUnsigned",
                 {Item(18446744073709551615ull), Item(TwoTo63), Item(TwoTo63 - 1), Item(0)},
                 {Item(TwoTo63 + 1), Item(1)},
                 {0, TwoTo63 - 1, TwoTo63, 18446744073709551615ull},
                 {1, TwoTo63 + 1}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(DiffByInstanceIdTest, KeepsTheItemsThemselvesAndLeavesTheLiveListAlone)
{
    const std::vector<ProductData> current{Item(2, 20), Item(1, 10)};
    const InventoryDiff diff = DiffByInstanceId(current, {Item(3, 30)});
    EXPECT_EQ(diff.added, (std::vector<ProductData>{Item(1, 10), Item(2, 20)}));
    EXPECT_EQ(diff.removed, std::vector<ProductData>{Item(3, 30)});
    EXPECT_EQ(Ids(current), (std::vector<std::uint64_t>{2, 1}));
}

class InventorySnapshotTest : public ::testing::Test {
protected:
    void WriteRaw(const std::string& content)
    {
        std::filesystem::create_directories(snapshot.File().parent_path());
        std::ofstream(snapshot.File(), std::ios::binary) << content;
    }

    testing::TestHost host;
    InventorySnapshot snapshot{host.hostDir() / "data"};
};

TEST_F(InventorySnapshotTest, WritesTheGuidAndItemsIndentedAndReadsThemBack)
{
    EXPECT_EQ(snapshot.File(), host.hostDir() / "data" / "qvx-inventorysync" / "smartInventory.json");
    EXPECT_FALSE(snapshot.Exists());
    const std::vector<ProductData> items{ProductData{1, 2, 3, TwoTo63, 255, {{"Painted", "-1"}, {"Painted", "2"}}}};

    ASSERT_EQ(snapshot.Write("G1", items), "");
    EXPECT_TRUE(snapshot.Exists());
    EXPECT_EQ(testing::ReadFile(snapshot.File()), nlohmann::json({{"guid", "G1"}, {"items", items}}).dump(4));
    EXPECT_EQ(nlohmann::json::parse(testing::ReadFile(snapshot.File()))["items"].get<std::vector<ProductData>>(), items);

    ASSERT_EQ(snapshot.Write("G2", {}), "");
    EXPECT_EQ(testing::ReadFile(snapshot.File()), "{\n    \"guid\": \"G2\",\n    \"items\": []\n}");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(snapshot.File().parent_path()), {}), 1)
        << "no temporary file is left behind";
}

TEST_F(InventorySnapshotTest, DiffIgnoresOtherMembersAndLogsTheCounts)
{
    WriteRaw(R"({"version": 3, "items": [{"Attributes":[],"ID":1,"InstanceID":1,"Quality":0,"SeriesID":0,"TradeHold":0,"x":1}],
                "guid": "G7"})");
    const InventoryDiff diff = snapshot.ComputeDiff({Item(2), Item(3)});
    EXPECT_EQ(diff.previousGuid, "G7");
    EXPECT_EQ(Ids(diff.added), (std::vector<std::uint64_t>{2, 3}));
    EXPECT_EQ(Ids(diff.removed), std::vector<std::uint64_t>{1});
    EXPECT_TRUE(host->ConsoleContains("Inventory diff: Old GUID: G7, # added: 2, # removed: 1"));
}

}  // namespace
}  // namespace quorvex
