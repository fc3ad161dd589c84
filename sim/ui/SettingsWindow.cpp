#include "sim/ui/SettingsWindow.h"

#include <cfloat>
#include <stdexcept>
#include <string>

#include <imgui.h>
#include <imgui_internal.h>

#include "sim/Guard.h"
#include "sim/ui/FrameReader.h"
#include "sim/ui/ScreenWindows.h"

namespace sim::ui {
namespace {

// ImGui's time moves by one frame at 60 frames a second, whatever the wall clock does.
constexpr float FrameSeconds = 1.0f / 60.0f;
// Where ImGui takes the mouse to be when it is over no window.
constexpr float NoMouse = -FLT_MAX;

constexpr ImGuiWindowFlags WindowFlags =
    ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
    ImGuiWindowFlags_NoSavedSettings;
// On the screen the settings window stays below the host's toasts and dialogs when clicked.
constexpr ImGuiWindowFlags ScreenSettingsFlags = ImGuiWindowFlags_NoBringToFrontOnFocus;

// The font atlas's texels, by the id its glyphs are drawn with.
TextureTable AtlasTexture()
{
    ImFontAtlas& atlas = *ImGui::GetIO().Fonts;
    unsigned char* texels = nullptr;
    int width = 0;
    int height = 0;
    atlas.GetTexDataAsRGBA32(&texels, &width, &height);
    return TextureTable{{atlas.TexID, TextureView{texels, width, height}}};
}

ImGuiContext* CreateHostContext(const SettingsWindowOptions& options)
{
    if (options.width <= 0 || options.height <= 0) {
        throw std::invalid_argument("the settings window needs a positive size, got " +
                                    std::to_string(options.width) + "x" + std::to_string(options.height));
    }
    ImGuiContext* context = ImGui::CreateContext();
    ImGui::SetCurrentContext(context);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    io.DisplaySize = ImVec2(static_cast<float>(options.width), static_cast<float>(options.height));
    io.DeltaTime = FrameSeconds;
    io.Fonts->AddFontDefault();
    io.Fonts->Build();
    ImGui::StyleColorsDark();
    // The window fills the display, so it needs no border; without one, the separator colour (the
    // border colour of this style) is drawn by separators only.
    ImGui::GetStyle().WindowBorderSize = 0.0f;
    return context;
}

}  // namespace

SettingsWindow::SettingsWindow(SettingsWindowOptions options)
    : options_(options),
      layout_{std::max(ScreenLayout().width, static_cast<float>(options.width)),
              std::max(ScreenLayout().height, static_cast<float>(options.height) + 60.0f),
              static_cast<float>(options.width), static_cast<float>(options.height)},
      context_(CreateHostContext(options_)),
      reader_(std::make_unique<FrameReader>(*ImGui::GetIO().Fonts->Fonts[0], ImGui::GetStyle()))
{
}

SettingsWindow::~SettingsWindow()
{
    ImGui::DestroyContext(context_);
}

std::uintptr_t SettingsWindow::UiContext() const
{
    return reinterpret_cast<std::uintptr_t>(context_);
}

const Frame& SettingsWindow::Draw(Plexar::Plugin::PluginSettingsWindow& page)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return DrawFrame(page, Mouse{NoMouse, NoMouse, false});
}

DrawnItem SettingsWindow::Click(Plexar::Plugin::PluginSettingsWindow& page, std::string_view label)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const DrawnItem item = lastFrame_.GetByLabel(label);
    if (item.kind != DrawnItem::Kind::Button && item.kind != DrawnItem::Kind::Checkbox) {
        throw std::invalid_argument("\"" + std::string(label) + "\" is a text, not a button or checkbox");
    }
    DrawFrame(page, Mouse{item.box.CentreX(), item.box.CentreY(), true});
    DrawFrame(page, Mouse{item.box.CentreX(), item.box.CentreY(), false});
    return item;
}

void SettingsWindow::UseLastFrame(const FrameUse& use) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!drawn_) {
        throw std::logic_error("no frame of the settings window has been drawn yet");
    }
    ImGui::SetCurrentContext(context_);
    use(*ImGui::GetDrawData(), AtlasTexture());
}

void SettingsWindow::ShowPage(Plexar::Plugin::PluginSettingsWindow* page)
{
    std::lock_guard<std::mutex> lock(mutex_);
    shownPage_ = page;
}

ScreenFrame SettingsWindow::DrawScreen(const ScreenSnapshot& screen, const ScreenPass& pass)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return DrawScreenFrame(screen, pass);
}

ScreenFrame SettingsWindow::DrawScreenFrame(const ScreenSnapshot& screen, const ScreenPass& pass)
{
    ImGui::SetCurrentContext(context_);
    ImGuiIO& io = ImGui::GetIO();
    if (pass.beforeFrame) {
        pass.beforeFrame();
    } else {
        io.DisplaySize = ImVec2(layout_.width, layout_.height);
        io.DeltaTime = FrameSeconds;
        io.MousePos = ImVec2(NoMouse, NoMouse);
        io.MouseDown[0] = false;
    }
    ImGui::NewFrame();
    ScreenFrame frame;
    std::string title = "Plug-ins";
    if (shownPage_ != nullptr) {
        title = shownPage_->GetDisplayName();
        const std::string failure = DrawPage(*shownPage_, ScreenSettingsFlags);
        if (!failure.empty()) {
            ImGui::Begin(title.c_str(), nullptr, WindowFlags | ScreenSettingsFlags);
            ImGui::TextColored(ImVec4(1, 0.3f, 0.3f, 1), "RenderSettings threw: %s", failure.c_str());
            ImGui::End();
        }
    } else {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(layout_.settingsWidth, layout_.settingsHeight));
        ImGui::Begin(title.c_str(), nullptr, WindowFlags | ScreenSettingsFlags);
        ImGui::TextDisabled("No plug-in with a settings page is loaded.");
        ImGui::End();
    }
    ScreenWindowsDrawn around = DrawScreenWindows(screen, layout_);
    frame.pressedButton = around.pressedButton;
    frame.modalButtons = std::move(around.modalButtons);
    ImGui::Render();
    if (shownPage_ != nullptr) {
        frame.page = ReadSettingsWindow(*ImGui::GetDrawData(), title);
    }
    if (pass.afterFrame) {
        pass.afterFrame(*ImGui::GetDrawData());
    }
    return frame;
}

void SettingsWindow::UseScreenFrame(const ScreenSnapshot& screen, const FrameUse& use)
{
    std::lock_guard<std::mutex> lock(mutex_);
    DrawScreenFrame(screen, ScreenPass{});
    TextureTable textures = ScreenTextures(screen);
    textures.merge(AtlasTexture());
    use(*ImGui::GetDrawData(), textures);
}

std::string SettingsWindow::DrawPage(Plexar::Plugin::PluginSettingsWindow& page, int extraFlags)
{
    const std::string title = page.GetDisplayName();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(layout_.settingsWidth, layout_.settingsHeight));
    ImGui::Begin(title.c_str(), nullptr, WindowFlags | extraFlags);
    try {
        const PluginCallScope pluginCall;
        page.RenderSettings();
        ImGui::End();
        return {};
    } catch (const std::exception& error) {
        // Closes whatever the page left open, and the window with it.
        ImGui::ErrorCheckEndFrameRecover(nullptr);
        return error.what()[0] == '\0' ? "an exception without a message" : error.what();
    } catch (...) {
        ImGui::ErrorCheckEndFrameRecover(nullptr);
        return "unknown exception";
    }
}

Frame SettingsWindow::ReadSettingsWindow(const ImDrawData& drawData, const std::string& title) const
{
    const ImGuiWindow* window = ImGui::FindWindowByName(title.c_str());
    if (window == nullptr || !window->Active) {
        return {};
    }
    ImDrawData own = drawData;
    ImDrawList* list = window->DrawList;
    own.CmdLists = &list;
    own.CmdListsCount = 1;
    return reader_->Read(own);
}

const Frame& SettingsWindow::DrawFrame(Plexar::Plugin::PluginSettingsWindow& page, const Mouse& mouse)
{
    const std::string title = page.GetDisplayName();
    ImGui::SetCurrentContext(context_);
    ImGuiIO& io = ImGui::GetIO();
    io.MousePos = ImVec2(mouse.x, mouse.y);
    io.MouseDown[0] = mouse.down;

    io.DisplaySize = ImVec2(static_cast<float>(options_.width), static_cast<float>(options_.height));
    io.DeltaTime = FrameSeconds;
    ImGui::NewFrame();
    const std::string failure = DrawPage(page, 0);
    ImGui::Render();
    lastFrame_ = ReadSettingsWindow(*ImGui::GetDrawData(), title);
    drawn_ = true;
    if (!failure.empty()) {
        throw std::runtime_error("RenderSettings threw: " + failure);
    }
    return lastFrame_;
}

}  // namespace sim::ui
