// The streaming snapshot reader, the diff that follows the plug-in's own layout and the streaming
// writer against the JSON library's document path (bench/DomBaseline.h): thousands of generated
// snapshots, most of them mutated, must read (or diff) to the same records or be refused by both
// with the same reason; written texts must be the same bytes.
#include "inventory/StoredInventoryReader.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "bench/DomBaseline.h"
#include "inventory/InventorySnapshot.h"
#include "inventory/JsonTextWriter.h"
#include "inventory/RegularFileBuffer.h"
#include "inventory/WrittenSnapshotDiff.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

using Json = nlohmann::json;

class Generator {
public:
    explicit Generator(std::uint64_t seed) : random_(seed) {}

    std::uint64_t Below(std::uint64_t bound) { return random_() % bound; }
    bool OneIn(std::uint64_t chances) { return Below(chances) == 0; }

    // Mostly plain texts; now and then escapes, control bytes, UTF-8 and invalid bytes.
    std::string Text()
    {
        static const std::vector<std::string> pieces{"Painted", "7", "", "\"", "\\", "\n", "\t", "\x01", "\x7f",
                                                     "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x9a\x80", "/",
                                                     "\xff", "\xc3", "SKYVOLT LEGEND"};
        std::string text;
        for (auto count = Below(4); count > 0; --count) {
            text += OneIn(3) ? pieces[Below(pieces.size())] : pieces[Below(3)];
        }
        return text;
    }

    ProductData Product()
    {
        ProductData product{static_cast<std::int32_t>(random_()), static_cast<std::int32_t>(Below(300)),
                            OneIn(2) ? 0 : static_cast<std::int32_t>(random_()),
                            OneIn(4) ? Below(5) : random_(), static_cast<std::uint8_t>(random_()), {}};
        for (auto count = Below(4); count > 0; --count) {
            product.Attributes.push_back({Text(), Text()});
        }
        return product;
    }

    std::vector<ProductData> Products(std::uint64_t most)
    {
        std::vector<ProductData> products(Below(most + 1));
        for (auto& product : products) {
            product = Product();
        }
        return products;
    }

    // A value of any JSON type, for putting where another one belongs.
    Json AnyValue()
    {
        switch (Below(11)) {
        case 0: return nullptr;
        case 1: return OneIn(2);
        case 2: return "5";
        case 3: return 1.5;
        case 4: return -1;
        case 5: return Json::parse("18446744073709551616");
        case 6: return Json::object({{"Key", "k"}, {"Value", "v"}});
        case 7: return Json::array({1, Json::array()});
        case 8: return 255;
        case 9: return static_cast<std::uint64_t>(random_());
        default: return Json::array();
        }
    }

    // A member of `object` removed, replaced by a value of another type, or one added.
    void MutateObject(Json& object)
    {
        if (!object.is_object() || object.empty()) {
            return;
        }
        auto member = object.begin();
        std::advance(member, static_cast<std::ptrdiff_t>(Below(object.size())));
        switch (Below(3)) {
        case 0: object.erase(member); break;
        case 1: *member = AnyValue(); break;
        default: object["x" + std::to_string(Below(3))] = AnyValue(); break;
        }
    }

    // A snapshot document's text: written as the plug-in writes it, then changed a little.
    std::string Snapshot()
    {
        Json document{{"guid", Text()}, {"items", Products(6)}};
        const auto mutations = Below(4);
        for (std::uint64_t step = 0; step < mutations; ++step) {
            Json& items = document["items"];
            const auto where = Below(5);
            if (where == 0) {
                MutateObject(document);
            } else if (items.is_array() && !items.empty()) {
                Json& item = items[Below(items.size())];
                if (where == 1 && item.is_object() && item.contains("Attributes") && item["Attributes"].is_array() &&
                    !item["Attributes"].empty()) {
                    MutateObject(item["Attributes"][Below(item["Attributes"].size())]);
                } else if (where == 2) {
                    item = AnyValue();
                } else {
                    MutateObject(item);
                }
            }
        }
        std::string text = document.dump(OneIn(2) ? 4 : -1, ' ', false, Json::error_handler_t::replace);
        if (OneIn(3)) {
            MutateText(text);
        }
        return text;
    }

    // A repeated member (the last one counts), or a byte inserted, changed or dropped, or the
    // text cut short.
    void MutateText(std::string& text)
    {
        static const std::vector<std::string> members{
            R"("ID": "1", )", R"("ID": 2, )", R"("Attributes": 3, )", R"("Attributes": [], )", R"("Key": 4, )",
            R"("Value": "v", )", R"("guid": 5, )", R"("items": [], )", R"("InstanceID": true, )"};
        static const std::string bytes = "{}[],:\"\\ 0-.eEtfn\x01\xff";
        const std::size_t at = Below(text.size() + 1);
        switch (Below(5)) {
        case 0:
        case 1: {
            const auto brace = text.find('{', at);
            if (brace != std::string::npos) {
                text.insert(brace + 1, members[Below(members.size())]);
            }
            break;
        }
        case 2: text.insert(at, 1, bytes[Below(bytes.size())]); break;
        case 3:
            if (at < text.size()) {
                text[at] = bytes[Below(bytes.size())];
            }
            break;
        default: text.resize(at); break;
        }
    }

private:
    std::mt19937_64 random_;
};

class StoredInventoryReaderTest : public ::testing::Test {
protected:
    void WriteRaw(const std::string& content)
    {
        std::filesystem::create_directories(snapshot.File().parent_path());
        std::ofstream(snapshot.File(), std::ios::binary | std::ios::trunc) << content;
    }

    // The diff by the plug-in's own layout alone, when the file is in it.
    std::optional<InventoryDiff> DiffAsWritten(const std::vector<ProductData>& live)
    {
        RegularFileBuffer file(snapshot.File(), InventorySnapshot::MaxFileBytes);
        InventoryDiffBuilder builder(live);
        std::optional<std::string> guid = DiffSnapshotAsWritten(file, builder);
        if (!guid) {
            return std::nullopt;
        }
        InventoryDiff diff = builder.Finish();
        diff.previousGuid = *guid;
        return diff;
    }

    testing::TestHost host;
    InventorySnapshot snapshot{host.hostDir() / "data"};
};

// What reading gave: the result, or the refusal's text.
template <typename Result>
struct Outcome {
    bool refused = false;
    std::string reason;
    Result read;
};

template <typename Read>
auto Attempt(Read read)
{
    Outcome<decltype(read())> outcome;
    try {
        outcome.read = read();
    } catch (const std::exception& error) {
        outcome.refused = true;
        outcome.reason = error.what();
    }
    return outcome;
}

TEST_F(StoredInventoryReaderTest, ReadsGeneratedAndMutatedSnapshotsAsTheDocumentPathDoes)
{
    Generator generate(20261209);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string text = generate.Snapshot();
        WriteRaw(text);
        const auto streamed = Attempt([&] { return snapshot.Read(); });
        const auto document = Attempt([&] { return baseline::ReadSnapshotDocument(snapshot.File()); });
        ASSERT_EQ(streamed.refused, document.refused) << text << "\nstreamed: " << streamed.reason
                                                      << "\ndocument: " << document.reason;
        ASSERT_EQ(streamed.reason, document.reason) << text;
        ASSERT_EQ(streamed.read.guid, document.read.guid) << text;
        ASSERT_EQ(streamed.read.items, document.read.items) << text;
        accepted += streamed.refused ? 0 : 1;
    }
    // Both kinds are well represented, or the comparison says little.
    EXPECT_GT(accepted, 600);
    EXPECT_LT(accepted, 2400);
}

std::vector<std::uint64_t> Ids(const std::vector<ProductData>& items)
{
    std::vector<std::uint64_t> ids;
    for (const auto& item : items) {
        ids.push_back(item.InstanceID);
    }
    return ids;
}

// Every item of `part` is one of `whole`'s (which one of several with its id is not defined).
bool AllAmong(const std::vector<ProductData>& part, const std::vector<ProductData>& whole)
{
    return std::all_of(part.begin(), part.end(), [&](const ProductData& item) {
        return std::find(whole.begin(), whole.end(), item) != whole.end();
    });
}

TEST_F(StoredInventoryReaderTest, DiffsAsTheDocumentPathDoesWhileTheItemsStreamIn)
{
    Generator generate(99);
    for (int round = 0; round < 1000; ++round) {
        const std::vector<ProductData> stored = generate.Products(8);
        // The live list: some stored items kept (some twice), some new ones, in another order.
        std::vector<ProductData> live = generate.Products(3);
        for (const auto& item : stored) {
            for (auto copies = generate.Below(4) == 0 ? 0 : 1 + generate.Below(2); copies > 0; --copies) {
                live.push_back(item);
            }
        }
        std::shuffle(live.begin(), live.end(), std::mt19937_64(static_cast<std::uint64_t>(round)));
        ASSERT_EQ(snapshot.Write("G", stored), "");

        const InventoryDiff streamed = snapshot.ComputeDiff(live);
        // As written: invalid UTF-8 in a text was replaced.
        const std::vector<ProductData> written = baseline::ReadSnapshotDocument(snapshot.File()).items;
        const InventoryDiff document = baseline::DiffSortedLists(live, written);
        ASSERT_EQ(streamed.previousGuid, "G");
        ASSERT_EQ(Ids(streamed.added), Ids(document.added));
        ASSERT_EQ(Ids(streamed.removed), Ids(document.removed));
        ASSERT_TRUE(AllAmong(streamed.added, live));
        ASSERT_TRUE(AllAmong(streamed.removed, written));
    }
}

// The live list of the next sync, made from the stored one as an inventory changes in between:
// in the file's order, with items traded away, received, repainted and held twice.
std::vector<ProductData> NextLiveList(const std::vector<ProductData>& stored, Generator& generate)
{
    std::vector<ProductData> live;
    for (const auto& item : stored) {
        switch (generate.Below(8)) {
        case 0: break;
        case 1: live.push_back(generate.Product()); live.push_back(item); break;
        case 2: live.push_back(item); live.back().Attributes.push_back({"Painted", "3"}); break;
        case 3: live.push_back(item); live.push_back(item); break;
        default: live.push_back(item); break;
        }
    }
    if (generate.OneIn(4)) {
        live.push_back(generate.Product());
    }
    return live;
}

TEST_F(StoredInventoryReaderTest, DiffsItsOwnLayoutAsTheDocumentPathDoesWhateverWasChangedInTheFile)
{
    Generator generate(1209);
    int recognised = 0;
    int recognisedMutated = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::vector<ProductData> stored = generate.Products(8);
        const std::vector<ProductData> live = NextLiveList(stored, generate);
        const std::string guid = generate.OneIn(4) ? generate.Text() : "G" + std::to_string(round);
        ASSERT_EQ(snapshot.Write(guid, stored), "");
        std::string text = testing::ReadFile(snapshot.File());
        const bool mutated = generate.OneIn(2);
        if (mutated) {
            generate.MutateText(text);
            WriteRaw(text);
        }

        const auto streamed = Attempt([&] { return snapshot.ComputeDiff(live); });
        const auto document = Attempt([&] {
            const StoredInventory read = baseline::ReadSnapshotDocument(snapshot.File());
            InventoryDiff diff = baseline::DiffSortedLists(live, read.items);
            diff.previousGuid = read.guid;
            return std::make_pair(diff, read.items);
        });
        ASSERT_EQ(streamed.refused, document.refused) << text << "\nstreamed: " << streamed.reason
                                                      << "\ndocument: " << document.reason;
        ASSERT_EQ(streamed.reason, document.reason) << text;
        ASSERT_EQ(streamed.read.previousGuid, document.read.first.previousGuid) << text;
        ASSERT_EQ(Ids(streamed.read.added), Ids(document.read.first.added)) << text;
        ASSERT_EQ(Ids(streamed.read.removed), Ids(document.read.first.removed)) << text;
        ASSERT_TRUE(AllAmong(streamed.read.added, live)) << text;
        ASSERT_TRUE(AllAmong(streamed.read.removed, document.read.second)) << text;

        // What the plug-in wrote is always followed by its layout, and what is followed so gives
        // the document's diff.
        const std::optional<InventoryDiff> asWritten = DiffAsWritten(live);
        if (!mutated && JsonTextWriter::WrittenAsItStands(guid)) {
            ASSERT_TRUE(asWritten) << text;
        }
        if (asWritten) {
            ASSERT_FALSE(document.refused) << text;
            ASSERT_EQ(asWritten->previousGuid, document.read.first.previousGuid) << text;
            ASSERT_EQ(Ids(asWritten->added), Ids(document.read.first.added)) << text;
            ASSERT_EQ(Ids(asWritten->removed), Ids(document.read.first.removed)) << text;
            ++recognised;
            recognisedMutated += mutated ? 1 : 0;
        }
    }
    // Mutated files are recognised too when the change leaves the layout (inside an item), or
    // the comparison says little about items that are not the writer's text.
    EXPECT_GT(recognised, 1200);
    EXPECT_GT(recognisedMutated, 100);
}

TEST_F(StoredInventoryReaderTest, OnlyItsOwnLayoutIsFollowedAndAnyOtherIsReadAsADocument)
{
    const std::vector<ProductData> stored{ProductData{1, 0, 0, 10, 0, {}}, ProductData{2, 0, 0, 20, 0, {{"Painted", "1"}}}};
    const std::vector<ProductData> live{stored[1], ProductData{3, 0, 0, 30, 0, {}}};
    ASSERT_EQ(snapshot.Write("G", stored), "");
    const std::string written = testing::ReadFile(snapshot.File());
    ASSERT_TRUE(DiffAsWritten(live));
    ASSERT_EQ(snapshot.Write("G", {}), "");
    ASSERT_TRUE(DiffAsWritten(live));

    const std::string compact = Json({{"guid", "G"}, {"items", stored}}).dump();
    const std::string escapedGuid = Json({{"guid", "G\n"}, {"items", stored}}).dump(4);
    const std::string itemsFirst = std::string("{\n    \"items\": ") + Json(stored).dump(4) + ",\n    \"guid\": \"G\"\n}";
    std::string extraMember = written;
    extraMember.insert(extraMember.find("\n"), "\n    \"x\": 1,");
    std::string repeatedItems = written;
    repeatedItems.insert(repeatedItems.rfind('\n'), ",\n    \"items\": []");
    for (const std::string& text : {compact, written + "\n", escapedGuid, itemsFirst, extraMember, repeatedItems}) {
        WriteRaw(text);
        EXPECT_FALSE(DiffAsWritten(live)) << text;
        const InventoryDiff diff = snapshot.ComputeDiff(live);
        const StoredInventory read = snapshot.Read();
        EXPECT_EQ(diff.previousGuid, read.guid);
        EXPECT_EQ(Ids(diff.added), Ids(DiffByInstanceId(live, read.items).added)) << text;
        EXPECT_EQ(Ids(diff.removed), Ids(DiffByInstanceId(live, read.items).removed)) << text;
    }

    // An item of another form inside the layout is parsed; one the reader refuses hands the
    // file to the document reader, for its refusal.
    std::string reordered = written;
    const std::string attributes = "\"Attributes\": [],\n            ";
    reordered.erase(reordered.find(attributes), attributes.size());
    reordered.insert(reordered.find("\n        }"), ",\n            \"Attributes\": []");
    WriteRaw(reordered);
    const std::optional<InventoryDiff> parsed = DiffAsWritten(live);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(Ids(parsed->added), std::vector<std::uint64_t>{30});
    EXPECT_EQ(Ids(parsed->removed), std::vector<std::uint64_t>{10});
    std::string wrongType = written;
    wrongType.replace(wrongType.find("\"ID\": 1"), 7, "\"ID\": \"1\"");
    WriteRaw(wrongType);
    EXPECT_FALSE(DiffAsWritten(live));
    EXPECT_THROW(snapshot.ComputeDiff(live), Json::type_error);
}

TEST_F(StoredInventoryReaderTest, ALargeSnapshotReadsAndIsRefusedAsByTheDocumentPath)
{
    // Many chunks long, so the refusal's position is found by reading the file again.
    Generator generate(5);
    std::vector<ProductData> items;
    for (int index = 0; index < 3000; ++index) {
        items.push_back(generate.Product());
    }
    ASSERT_EQ(snapshot.Write("G", items), "");
    const std::string text = testing::ReadFile(snapshot.File());
    ASSERT_GT(text.size(), 300000u);
    EXPECT_EQ(snapshot.Read().items, baseline::ReadSnapshotDocument(snapshot.File()).items);

    for (const std::size_t cut : {text.size() - 3, text.size() / 2, std::size_t{70000}}) {
        std::string broken = text;
        broken.insert(cut, "]");
        WriteRaw(broken);
        const auto streamed = Attempt([&] { return snapshot.Read(); });
        const auto document = Attempt([&] { return baseline::ReadSnapshotDocument(snapshot.File()); });
        ASSERT_TRUE(streamed.refused);
        EXPECT_EQ(streamed.reason, document.reason);
        EXPECT_NE(streamed.reason.find("line "), std::string::npos) << streamed.reason;
    }
}

TEST_F(StoredInventoryReaderTest, WritesTheBytesTheJsonLibraryWrites)
{
    Generator generate(7);
    for (int round = 0; round < 500; ++round) {
        const std::vector<ProductData> items = generate.Products(8);
        const std::string guid = generate.Text();
        const Json list(items);
        for (const int indent : {-1, 4}) {
            ASSERT_EQ(DumpProducts(items, indent, 0, "test"), list.dump(indent, ' ', false, Json::error_handler_t::replace));
        }
        ASSERT_EQ(snapshot.Write(guid, items), "");
        ASSERT_EQ(testing::ReadFile(snapshot.File()),
                  Json({{"guid", guid}, {"items", items}}).dump(4, ' ', false, Json::error_handler_t::replace));
        const InventoryDiff diff{guid, generate.Products(3), generate.Products(3)};
        ASSERT_EQ(DumpDiffBody(diff, "test"), Json({{"addedItems", diff.added},
                                                    {"previousGuid", diff.previousGuid},
                                                    {"removedItems", diff.removed}})
                                                  .dump(-1, ' ', false, Json::error_handler_t::replace));
    }
}

TEST(JsonTextWriterTest, NestsAsDeepAsItsLimitAndRefusesDeeper)
{
    const auto nested = [](int levels) {
        return [levels](JsonTextWriter& json) {
            for (int level = 0; level < levels; ++level) {
                json.BeginArray();
                json.Integer(level);
            }
            for (int level = 0; level < levels; ++level) {
                json.EndArray();
            }
        };
    };
    Json expected = Json::array({JsonTextWriter::MaxNesting - 1});
    for (int level = JsonTextWriter::MaxNesting - 2; level >= 0; --level) {
        expected = Json::array({level, expected});
    }
    for (const int indent : {-1, 4}) {
        EXPECT_EQ(JsonTextWriter::Text(indent, 0, "test", nested(JsonTextWriter::MaxNesting)), expected.dump(indent));
    }
    EXPECT_THROW(JsonTextWriter::Text(-1, 0, "test", nested(JsonTextWriter::MaxNesting + 1)), std::length_error);
}

TEST_F(StoredInventoryReaderTest, InvalidUtf8IsReplacedAndLoggedOncePerText)
{
    const InventoryDiff diff{"G\xff", {ProductData{1, 0, 0, 1, 0, {{"a\xc3", "b"}}}}, {ProductData{}}};
    const std::string body = DumpDiffBody(diff, "the diff body");
    EXPECT_NE(body.find(R"("previousGuid":"G)" "\xef\xbf\xbd\""), std::string::npos) << body;
    EXPECT_EQ(host.CountConsoleLines("Invalid UTF-8 in the diff body replaced with U+FFFD"), 1);
}

TEST_F(StoredInventoryReaderTest, ALargeFirstItemDoesNotDecideTheBuffer)
{
    std::vector<ProductData> items(50001, ProductData{23, 1, 0, 1, 3, {{"Painted", "4"}}});
    items[0].Attributes = {{"TitleID", std::string(500 * 1024, 'T')}};
    for (std::size_t index = 0; index < items.size(); ++index) {
        items[index].InstanceID = index;
    }
    EXPECT_EQ(DumpProducts(items, -1, 0, "test"), Json(items).dump());
    ASSERT_EQ(snapshot.Write("G", items), "");
    EXPECT_EQ(snapshot.Read().items, items);
    const std::vector<ProductData> live{items.begin() + 1, items.end()};
    EXPECT_EQ(snapshot.ComputeDiff(live).removed, std::vector<ProductData>{items[0]});
    // Followed by its layout, through an item larger than a read ahead.
    const std::optional<InventoryDiff> asWritten = DiffAsWritten(live);
    ASSERT_TRUE(asWritten);
    EXPECT_EQ(asWritten->removed, std::vector<ProductData>{items[0]});

    // One beyond the read-ahead's bound is left to the document reader, which streams it.
    items[0].Attributes = {{"TitleID", std::string(5 * 1024 * 1024, 'T')}};
    ASSERT_EQ(snapshot.Write("G", items), "");
    EXPECT_FALSE(DiffAsWritten(live));
    EXPECT_EQ(snapshot.ComputeDiff(live).removed, std::vector<ProductData>{items[0]});
}

TEST_F(StoredInventoryReaderTest, OnlyARegularFileOfBoundedSizeIsRead)
{
    const auto refusal = [&] {
        const auto outcome = Attempt([&] { return snapshot.Read(); });
        EXPECT_TRUE(outcome.refused);
        return outcome.reason;
    };
    std::filesystem::create_directories(snapshot.File());
    EXPECT_EQ(refusal(), snapshot.File().u8string() + " is a folder");
    std::filesystem::remove(snapshot.File());

#ifndef _WIN32
    // Opening a FIFO for reading would wait for a writer that never comes (Windows has none in
    // the file system).
    ASSERT_EQ(::mkfifo(snapshot.File().c_str(), 0600), 0);
    EXPECT_EQ(refusal(), snapshot.File().u8string() + " is a FIFO");
    std::filesystem::remove(snapshot.File());
#endif

    EXPECT_EQ(refusal(), snapshot.File().u8string() + " is missing");

    // Sparse: the size is what counts, whatever the disk holds.
    WriteRaw("{}");
    std::filesystem::resize_file(snapshot.File(), InventorySnapshot::MaxFileBytes + 1);
    EXPECT_NE(refusal().find("holds 536870913 bytes, more than the 536870912"), std::string::npos);
    std::filesystem::resize_file(snapshot.File(), 0);
    WriteRaw(R"({"guid": "G", "items": []})");
    EXPECT_EQ(snapshot.Read().guid, "G");
}

}  // namespace
}  // namespace quorvex
