// The journal: what the host showed or did, in order, stamped with the host's clock, and the
// records of toasts, modals and textures.
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHost.h"

namespace sim {
namespace {

using namespace std::chrono_literals;
using Kind = JournalEntry::Kind;

TEST(Journal, EntriesReachTheSinkInOrderStampedWithTheHostClock)
{
    test::TestHost host;
    std::vector<JournalEntry> delivered;
    host->SetJournalSink([&](const JournalEntry& entry) { delivered.push_back(entry); });
    auto game = host->Game();
    const auto start = host->Now();

    host->CvarManager()->log("Plugin loaded!");
    game->SetTimeout(
        [](GameWrapper* g) {
            g->Toast("quorvex.com", "Inventory synced!", "qvx_logo", 3.0f, 0);
            g->LoadToastTexture("qvx_logo", "./data/qvxinventorysync/qvx_logo.tga");
        },
        5.0f);
    host->RunFor(10s);

    const std::vector<JournalEntry> kept = host->Journal();
    ASSERT_EQ(kept.size(), 4u);
    ASSERT_EQ(delivered.size(), 4u);
    // The host folder has no logo installed: the host says so after the load.
    const std::vector<std::pair<Kind, std::string>> expected = {
        {Kind::Console, "Plugin loaded!"},
        {Kind::Toast, "toast: [type 0, 3s] quorvex.com: Inventory synced!"},
        {Kind::Texture, "texture: qvx_logo <- ./data/qvxinventorysync/qvx_logo.tga"},
        {Kind::Console, "plexar-sim: cannot load the toast texture qvx_logo from ./data/qvxinventorysync/qvx_logo.tga: "
                        "No such file or directory"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(kept[i].kind, expected[i].first);
        EXPECT_EQ(kept[i].text, expected[i].second);
        EXPECT_EQ(delivered[i].text, kept[i].text);
    }
    EXPECT_EQ(kept[0].at, start);
    EXPECT_EQ(kept[1].at, start + 5s);
    EXPECT_EQ(host->ConsoleLines().front(), "Plugin loaded!");
    EXPECT_TRUE(host->ConsoleContains("loaded"));
    EXPECT_FALSE(host->ConsoleContains("Inventory synced"));  // a toast, not a console line
}

TEST(Journal, ToastsAndTexturesAreRecordedWithTheirParameters)
{
    test::TestHost host;
    host->Game()->Toast("quorvex.com", "Your user code was set!", "qvx_logo", 7.0f, 1, 290, 60);
    host->Game()->LoadToastTexture("qvx_logo", "./data/logo.tga");
    const auto toasts = host->Toasts();
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_EQ(toasts[0].text, "Your user code was set!");
    EXPECT_EQ(toasts[0].texture, "qvx_logo");
    EXPECT_EQ(toasts[0].seconds, 7.0f);
    EXPECT_EQ(toasts[0].toastType, 1);
    EXPECT_EQ(toasts[0].width, 290.0f);
    EXPECT_EQ(host->Textures().at(0).second, std::filesystem::path("./data/logo.tga"));
}

TEST(Journal, AModalIsVisibleOnceShownWithItsButtons)
{
    test::TestHost host;
    bool clicked = false;
    ModalWrapper modal = host->Game()->CreateModal("Scammer detected");
    modal.SetIcon("Texture2D gfx_shared.Icon_Alert");
    modal.SetBody("This player is a known scammer.");
    modal.AddButton("Cancel trade", false, [&] { clicked = true; });
    modal.AddButton("Ignore", true);
    EXPECT_TRUE(host->Modals().empty());

    modal.ShowModal();
    const auto modals = host->Modals();
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0].icon, "Texture2D gfx_shared.Icon_Alert");
    ASSERT_EQ(modals[0].buttons.size(), 2u);
    EXPECT_TRUE(modals[0].buttons[1].isCancel);
    modals[0].buttons[0].onClick();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(host->Journal().back().text,
              "modal: Scammer detected | This player is a known scammer. | "
              "[Cancel trade, Ignore (cancel)]");
}

TEST(Host, FoldersIdsAndOneHostAtATime)
{
    HostOptions options;
    options.uniqueId = "Epic|abc|0";
    test::TestHost host(options);
    auto game = host->Game();
    EXPECT_EQ(game->GetPlexarPath(), host->Options().hostDir);
    EXPECT_EQ(game->GetDataFolder(), host->Options().hostDir / "data");
    EXPECT_TRUE(std::filesystem::is_directory(host->Options().hostDir / "cfg"));
    EXPECT_TRUE(std::filesystem::is_directory(host->Options().hostDir / "data"));
    EXPECT_EQ(game->GetUniqueID().GetIdString(), "Epic|abc|0");
    EXPECT_THROW(Host second(HostOptions{}), std::logic_error);
}

}  // namespace
}  // namespace sim
