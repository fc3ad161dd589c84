// Toast textures: LoadToastTexture reads the picture from the host folder and the screen shows
// it beside the toast; a missing, unreadable or oversized file is reported on the console and
// shows no picture, and the load is journalled either way.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHost.h"
#include "sim/ToastTexture.h"

namespace sim {
namespace {

using namespace std::chrono_literals;

// An uncompressed 32-bit TGA, top-left origin, from BGRA pixels.
std::vector<char> Tga(int width, int height, const std::vector<std::uint8_t>& bgra)
{
    std::vector<char> file = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              static_cast<char>(width & 0xff), static_cast<char>(width >> 8),
                              static_cast<char>(height & 0xff), static_cast<char>(height >> 8), 32, 0x28};
    for (const std::uint8_t byte : bgra) {
        file.push_back(static_cast<char>(byte));
    }
    return file;
}

void Write(const std::filesystem::path& file, const std::vector<char>& bytes)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class ToastTextureTest : public ::testing::Test {
protected:
    std::filesystem::path InHost(const std::string& relative) { return host->Options().hostDir / relative; }
    std::string LastConsoleLine() { return host->ConsoleLines().empty() ? "" : host->ConsoleLines().back(); }

    test::TestHost host;
};

TEST_F(ToastTextureTest, ARelativePathIsReadFromTheHostFolderAndShownWithTheToast)
{
    // Two pixels: opaque red, then half-transparent blue (stored blue, green, red, alpha).
    Write(InHost("data/qvxinventorysync/qvx_logo.tga"), Tga(2, 1, {0, 0, 255, 255, 255, 0, 0, 128}));
    host->Game()->LoadToastTexture("qvx_logo", "./data/qvxinventorysync/qvx_logo.tga");
    host->Game()->Toast("quorvex.com", "Inventory synced!", "qvx_logo", 3.0f, 0, 290, 60);

    const auto texture = host->Texture("qvx_logo");
    ASSERT_NE(texture, nullptr) << LastConsoleLine();
    EXPECT_EQ(texture->width, 2);
    EXPECT_EQ(texture->height, 1);
    EXPECT_EQ(texture->rgba, (std::vector<std::uint8_t>{255, 0, 0, 255, 0, 0, 255, 128}));
    EXPECT_TRUE(host->ConsoleLines().empty());
    EXPECT_EQ(host->Journal().front().text, "texture: qvx_logo <- ./data/qvxinventorysync/qvx_logo.tga (2x1)");

    const ScreenSnapshot shown = host->ScreenNow();
    ASSERT_EQ(shown.toasts.size(), 1u);
    EXPECT_EQ(shown.toasts[0].texture, texture);
    EXPECT_DOUBLE_EQ(shown.toasts[0].secondsLeft, 3.0);
}

TEST_F(ToastTextureTest, AToastLeavesTheScreenWhenItsTimeIsUp)
{
    host->Game()->Toast("quorvex.com", "first", "qvx_logo", 3.0f, 0, 290, 60);
    host->RunFor(2s);
    host->Game()->Toast("quorvex.com", "second", "qvx_logo", 3.0f, 1, 290, 60);
    host->RunFor(1.5s);
    const ScreenSnapshot shown = host->ScreenNow();
    ASSERT_EQ(shown.toasts.size(), 1u);
    EXPECT_EQ(shown.toasts[0].toast.text, "second");
    EXPECT_DOUBLE_EQ(shown.toasts[0].secondsLeft, 1.5);
    EXPECT_EQ(shown.toasts[0].texture, nullptr) << "no texture was loaded";
}

TEST_F(ToastTextureTest, AFileThatCannotBeShownIsReportedAndShowsNoPicture)
{
    Write(InHost("data/garbage.tga"), std::vector<char>(100, 'x'));
    // A header claiming 2000 by 2000 pixels in a small file.
    Write(InHost("data/huge.tga"), Tga(2000, 2000, std::vector<std::uint8_t>(16, 0)));
    Write(InHost("data/big.tga"), std::vector<char>(MaxTextureFileBytes + 1, 0));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"./data/missing.tga", "No such file or directory"},
        {"./data/garbage.tga", "not a picture: "},
        {"./data/huge.tga", "2000x2000 is larger than 1024x1024"},
        {"./data/big.tga", "the file has 4194305 bytes, more than the 4194304 a texture may have"},
    };
    for (const auto& [path, reason] : cases) {
        host->Game()->LoadToastTexture("qvx_logo", path);
        EXPECT_EQ(LastConsoleLine().rfind("plexar-sim: cannot load the toast texture qvx_logo from " + path + ": " + reason, 0),
                  0u)
            << LastConsoleLine();
        EXPECT_EQ(host->Texture("qvx_logo"), nullptr) << path;
    }
    EXPECT_EQ(host->Textures().size(), cases.size()) << "each load is recorded";
}

TEST_F(ToastTextureTest, AModalIsClaimedOnceAndTheNextOneOpens)
{
    for (const char* title : {"first", "second"}) {
        ModalWrapper modal = host->Game()->CreateModal(title);
        modal.AddButton("OK", true, nullptr);
        modal.ShowModal();
    }
    const auto open = host->ScreenNow().modal;
    ASSERT_TRUE(open.has_value());
    EXPECT_EQ(open->modal.title, "first");
    EXPECT_TRUE(host->ClaimModal(open->index));
    EXPECT_FALSE(host->ClaimModal(open->index)) << "answered already, from the window or the scenario";
    ASSERT_TRUE(host->ScreenNow().modal.has_value());
    EXPECT_EQ(host->ScreenNow().modal->modal.title, "second");
    EXPECT_TRUE(host->ClaimModal(1));
    EXPECT_FALSE(host->ScreenNow().modal.has_value());
}

}  // namespace
}  // namespace sim
