#include "sim/ui/SettingsWindow.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <imgui.h>
#include <stb_image.h>
#include <unistd.h>

#include "sim/ToastTexture.h"
#include "tests/sim/ui/ProbePage.h"
#include "tools/plexar-sim/screen/Pictures.h"

namespace sim::ui {
namespace {

using testing::ProbePage;

void GreyedButton(const char* label)
{
    ImGui::PushStyleVar(ImGuiStyleVar_DisabledAlpha, 0.5f);
    ImGui::BeginDisabled();
    ImGui::Button(label);
    ImGui::EndDisabled();
    ImGui::PopStyleVar();
}

const ImVec4 Red(1, 0, 0, 1);
const ImVec4 Green(0, 1, 0, 1);

class SettingsWindowTest : public ::testing::Test {
protected:
    // Shows `body` as the page from now on.
    ProbePage& Page(std::function<void()> body)
    {
        page = std::make_unique<ProbePage>(std::move(body));
        page->SetUiContext(window.UiContext());
        return *page;
    }

    SettingsWindow window;
    std::unique_ptr<ProbePage> page;
};

TEST_F(SettingsWindowTest, ReadsEveryTextAndWidgetBackWithItsColourAndAlpha)
{
    Page([] {
        ImGui::TextUnformatted("Plain text  with two spaces");
        ImGui::TextColored(Red, "Red");
        ImGui::SameLine();
        ImGui::TextUnformatted("beside it");
        bool ticked = true;
        ImGui::Checkbox("Ticked box", &ticked);
        bool empty = false;
        ImGui::Checkbox("Empty box", &empty);
        ImGui::Separator();
        ImGui::Button("Press me");
        ImGui::SameLine();
        GreyedButton("Greyed");
        ImGui::SameLine();
        ImGui::TextColored(Green, "Green");
    });

    const Frame& frame = window.Draw(*page);

    EXPECT_EQ(frame.Describe(),
              "Probe\n"
              "Plain text  with two spaces\n"
              "Red {red}  beside it\n"
              "[x] Ticked box\n"
              "[ ] Empty box\n"
              "----------------------------------------\n"
              "[Press me]  [Greyed] {greyed, alpha 0.50}  Green {green}\n");
    const DrawnItem& greyed = frame.Get("Greyed");
    EXPECT_EQ(greyed.kind, DrawnItem::Kind::Button);
    EXPECT_NEAR(greyed.colour.a, 0.5f, 1.0f / 255);
    EXPECT_FALSE(frame.Get("Press me").Greyed());
    const DrawnItem& red = frame.Get("Red");
    EXPECT_LT(red.box.x + red.box.width, frame.Get("beside it").box.x);
    EXPECT_LT(frame.Get("Ticked box").box.y, frame.Get("Empty box").box.y);
    EXPECT_EQ(frame.RowOf(red).size(), 2u);
}

TEST_F(SettingsWindowTest, ClickPressesAWidgetOnceAndAGreyedOneNotAtAll)
{
    int presses = 0;
    int greyedPresses = 0;
    bool box = false;
    Page([&] {
        if (ImGui::Button("Press me")) {
            ++presses;
        }
        ImGui::Checkbox("Box", &box);
        ImGui::PushStyleVar(ImGuiStyleVar_DisabledAlpha, 0.5f);
        ImGui::BeginDisabled();
        if (ImGui::Button("Greyed")) {
            ++greyedPresses;
        }
        ImGui::EndDisabled();
        ImGui::PopStyleVar();
        ImGui::TextUnformatted("Just text");
    });
    window.Draw(*page);

    EXPECT_EQ(window.Click(*page, "Press me").kind, DrawnItem::Kind::Button);
    EXPECT_EQ(presses, 1);
    window.Draw(*page);
    window.Draw(*page);
    EXPECT_EQ(presses, 1) << "the mouse went up once";

    window.Click(*page, "Box");
    EXPECT_TRUE(box);
    EXPECT_TRUE(window.Draw(*page).Get("Box").ticked);
    window.Click(*page, "Box");
    EXPECT_FALSE(window.Draw(*page).Get("Box").ticked);

    EXPECT_TRUE(window.Click(*page, "Greyed").Greyed());
    EXPECT_EQ(greyedPresses, 0);
    EXPECT_EQ(presses, 1);
}

TEST_F(SettingsWindowTest, ClickRefusesWhatIsNoWidgetOnThePage)
{
    Page([] {
        ImGui::TextUnformatted("Just text");
        ImGui::Button("Twice");
        ImGui::Button("Twice##second");
    });
    window.Draw(*page);

    try {
        window.Click(*page, "Missing");
        FAIL() << "clicked a label that is not there";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(),
                     "nothing labelled \"Missing\" is on the page; its buttons and checkboxes: \"Twice\", \"Twice\"");
    }
    try {
        window.Click(*page, "Just text");
        FAIL() << "clicked a plain text";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "\"Just text\" is a text, not a button or checkbox");
    }
    try {
        window.Click(*page, "Twice");
        FAIL() << "clicked one of two widgets with the same label";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "\"Twice\" is on the page 2 times");
    }
}

TEST_F(SettingsWindowTest, ClickTakesTheLeadingWordsOfOneWidgetsLabel)
{
    int inventory = 0;
    bool enabled = false;
    Page([&] {
        ImGui::TextUnformatted("Sync settings");
        if (ImGui::Button("Sync Inventory")) {
            ++inventory;
        }
        ImGui::Button("Sync Loadout");
        ImGui::Checkbox("Enable inventory sync", &enabled);
    });
    window.Draw(*page);

    EXPECT_EQ(window.Click(*page, "Sync Inventory").text, "Sync Inventory");
    EXPECT_EQ(window.Click(*page, "Enable").text, "Enable inventory sync");
    EXPECT_TRUE(enabled);
    EXPECT_EQ(inventory, 1);
    const std::string widgets = "its buttons and checkboxes: \"Sync Inventory\", \"Sync Loadout\", \"Enable inventory sync\"";
    for (const auto& [label, problem] : std::vector<std::pair<std::string, std::string>>{
             {"Sync", "\"Sync\" starts 2 labels; " + widgets},
             {"Sync Inv", "nothing labelled \"Sync Inv\" is on the page; " + widgets},
         }) {
        try {
            window.Click(*page, label);
            FAIL() << "clicked " << label;
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(error.what(), problem);
        }
    }
    EXPECT_EQ(inventory, 1);
}

TEST_F(SettingsWindowTest, PageThatThrowsFailsItsFrameAndTheNextFrameIsWhole)
{
    bool broken = true;
    Page([&] {
        ImGui::TextUnformatted("Before");
        if (broken) {
            ImGui::PushStyleColor(ImGuiCol_Text, Red);
            throw std::runtime_error("broken page");
        }
    });

    try {
        window.Draw(*page);
        FAIL() << "the page's exception was not reported";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "RenderSettings threw: broken page");
    }
    broken = false;
    const Frame& frame = window.Draw(*page);
    EXPECT_TRUE(frame.Contains("Probe"));
    EXPECT_EQ(frame.Describe(), "Probe\nBefore\n") << "the colour the broken frame pushed was taken off";
}

// Pixels inside the item's box whose colour passes the test.
int CountPixels(const Image& image, const DrawnItem& item, const std::function<bool(const Colour&)>& test)
{
    int count = 0;
    for (int y = static_cast<int>(item.box.y); y < static_cast<int>(item.box.y + item.box.height); ++y) {
        for (int x = static_cast<int>(item.box.x); x < static_cast<int>(item.box.x + item.box.width); ++x) {
            count += test(image.At(x, y)) ? 1 : 0;
        }
    }
    return count;
}

float Brightest(const Image& image, const DrawnItem& item)
{
    float brightest = 0;
    CountPixels(image, item, [&](const Colour& colour) {
        brightest = std::max(brightest, colour.r + colour.g + colour.b);
        return false;
    });
    return brightest;
}

TEST_F(SettingsWindowTest, PictureShowsTheFrameAsDrawn)
{
    Page([] {
        ImGui::TextColored(Red, "Red words");
        ImGui::TextUnformatted("White words");
        ImGui::Button("Enabled");
        GreyedButton("Greyed");
    });
    EXPECT_THROW(SettingsPicture(window), std::logic_error);
    const Frame& frame = window.Draw(*page);
    const Image image = SettingsPicture(window);

    SettingsWindowOptions size;
    EXPECT_EQ(image.width, size.width);
    EXPECT_EQ(image.height, size.height);
    auto red = [](const Colour& c) { return c.r > 0.9f && c.g < 0.1f && c.b < 0.1f; };
    auto white = [](const Colour& c) { return c.r > 0.9f && c.g > 0.9f && c.b > 0.9f; };
    EXPECT_GT(CountPixels(image, frame.Get("Red words"), red), 20);
    EXPECT_EQ(CountPixels(image, frame.Get("Red words"), white), 0);
    EXPECT_GT(CountPixels(image, frame.Get("White words"), white), 20);
    EXPECT_EQ(CountPixels(image, frame.Get("White words"), red), 0);
    EXPECT_GT(Brightest(image, frame.Get("Enabled")), Brightest(image, frame.Get("Greyed")) + 0.5f);
    EXPECT_THROW(image.At(image.width, 0), std::out_of_range);
}

TEST_F(SettingsWindowTest, PngHoldsThePictureAndAnUnwritableFileIsReported)
{
    Page([] { ImGui::Button("Enabled"); });
    window.Draw(*page);
    const Image image = SettingsPicture(window);
    const auto dir = std::filesystem::temp_directory_path() / ("quorvex-png-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "page.png";

    WritePng(image, file);
    int width = 0;
    int height = 0;
    int channels = 0;
    unsigned char* pixels = stbi_load(file.u8string().c_str(), &width, &height, &channels, 4);
    ASSERT_NE(pixels, nullptr) << stbi_failure_reason();
    EXPECT_EQ(width, image.width);
    EXPECT_EQ(height, image.height);
    EXPECT_TRUE(std::equal(image.rgba.begin(), image.rgba.end(), pixels));
    stbi_image_free(pixels);

    const auto unwritable = dir / "missing-folder" / "page.png";
    try {
        WritePng(image, unwritable);
        FAIL() << "wrote into a folder that does not exist";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "cannot write the picture " + unwritable.string() + ": No such file or directory");
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sim::ui

namespace sim::ui {
namespace {

// A toast with a texture of one colour, and the scammer modal, on the screen.
ScreenSnapshot ScreenWithToastAndModal(const std::shared_ptr<const ToastTexture>& texture)
{
    ScreenSnapshot screen;
    screen.now = Clock::now();
    ToastRecord toast{"quorvex.com", "Inventory synced!", "qvx_logo", 3.0f, 1, 290.0f, 60.0f};
    screen.toasts.push_back({toast, 2.5, texture});
    ModalRecord modal;
    modal.title = "Scammer detected";
    modal.body = "Proceed with caution!";
    modal.buttons.push_back({"OK", true, nullptr});
    screen.modal = ScreenSnapshot::OpenModal{0, modal};
    return screen;
}

bool HasPixel(const Image& picture, int left, int right, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    for (int y = 0; y < picture.height; ++y) {
        for (int x = left; x < right; ++x) {
            const std::uint8_t* pixel = picture.rgba.data() + (static_cast<std::size_t>(y) * picture.width + x) * 4;
            if (pixel[0] == r && pixel[1] == g && pixel[2] == b) {
                return true;
            }
        }
    }
    return false;
}

TEST_F(SettingsWindowTest, TheScreenShowsThePageWithTheToastsPicturesBesideIt)
{
    auto magenta = std::make_shared<ToastTexture>();
    magenta->width = 2;
    magenta->height = 2;
    for (int pixel = 0; pixel < 4; ++pixel) {
        magenta->rgba.insert(magenta->rgba.end(), {255, 0, 255, 255});
    }
    ProbePage& probe = Page([] { ImGui::Button("Sync Inventory"); });
    window.ShowPage(&probe);
    const ScreenSnapshot screen = ScreenWithToastAndModal(magenta);

    const ScreenFrame frame = window.DrawScreen(screen, ScreenPass{});
    EXPECT_TRUE(frame.page.Contains("Sync Inventory"));
    EXPECT_FALSE(frame.page.Contains("Inventory synced!")) << "the page's frame holds the page only";
    EXPECT_FALSE(frame.pressedButton.has_value());

    const Image picture = ScreenPicture(window, screen);
    const ScreenLayout& layout = window.Layout();
    ASSERT_EQ(picture.width, static_cast<int>(layout.width));
    ASSERT_EQ(picture.height, static_cast<int>(layout.height));
    const int pageRight = static_cast<int>(layout.settingsWidth);
    EXPECT_TRUE(HasPixel(picture, pageRight, picture.width, 255, 0, 255)) << "the toast's picture";
    EXPECT_FALSE(HasPixel(picture, 0, pageRight, 255, 0, 255));

    // The page's own picture still comes from the page alone.
    window.Draw(probe);
    EXPECT_EQ(SettingsPicture(window).width, 820);

    // Once the page is no longer shown, the screen draws without it.
    window.ShowPage(nullptr);
    EXPECT_FALSE(window.DrawScreen(screen, ScreenPass{}).page.Contains("Sync Inventory"));
}

}  // namespace
}  // namespace sim::ui
