#include "sim/ui/SettingsWindow.h"

#include <cfloat>
#include <stdexcept>
#include <string>

#include <imgui.h>
#include <imgui_internal.h>

#include "sim/ui/FrameReader.h"
#include "sim/ui/Rasteriser.h"

namespace sim::ui {
namespace {

// ImGui's time moves by one frame at 60 frames a second, whatever the wall clock does.
constexpr float FrameSeconds = 1.0f / 60.0f;
// Where ImGui takes the mouse to be when it is over no window.
constexpr float NoMouse = -FLT_MAX;
// What shows through the window's translucent background in a picture.
constexpr ImU32 DesktopColour = IM_COL32(24, 24, 28, 255);

constexpr ImGuiWindowFlags WindowFlags =
    ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
    ImGuiWindowFlags_NoSavedSettings;

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
    return DrawFrame(page, Mouse{NoMouse, NoMouse, false});
}

DrawnItem SettingsWindow::Click(Plexar::Plugin::PluginSettingsWindow& page, std::string_view label)
{
    const DrawnItem item = lastFrame_.GetByLabel(label);
    if (item.kind != DrawnItem::Kind::Button && item.kind != DrawnItem::Kind::Checkbox) {
        throw std::invalid_argument("\"" + std::string(label) + "\" is a text, not a button or checkbox");
    }
    DrawFrame(page, Mouse{item.box.CentreX(), item.box.CentreY(), true});
    DrawFrame(page, Mouse{item.box.CentreX(), item.box.CentreY(), false});
    return item;
}

Image SettingsWindow::Picture() const
{
    if (!drawn_) {
        throw std::logic_error("no frame of the settings window has been drawn yet");
    }
    ImGui::SetCurrentContext(context_);
    unsigned char* texels = nullptr;
    int width = 0;
    int height = 0;
    ImGui::GetIO().Fonts->GetTexDataAsRGBA32(&texels, &width, &height);
    return Rasterise(*ImGui::GetDrawData(), AtlasTexture{texels, width, height}, DesktopColour);
}

const Frame& SettingsWindow::DrawFrame(Plexar::Plugin::PluginSettingsWindow& page, const Mouse& mouse)
{
    const std::string title = page.GetDisplayName();
    ImGui::SetCurrentContext(context_);
    ImGuiIO& io = ImGui::GetIO();
    io.MousePos = ImVec2(mouse.x, mouse.y);
    io.MouseDown[0] = mouse.down;

    ImGui::NewFrame();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(io.DisplaySize);
    ImGui::Begin(title.c_str(), nullptr, WindowFlags);
    std::string failure;
    bool threw = true;
    try {
        page.RenderSettings();
        threw = false;
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "unknown exception";
    }
    if (threw) {
        // Closes whatever the page left open, and the window with it.
        ImGui::ErrorCheckEndFrameRecover(nullptr);
    } else {
        ImGui::End();
    }
    ImGui::Render();
    lastFrame_ = reader_->Read(*ImGui::GetDrawData());
    drawn_ = true;
    if (threw) {
        throw std::runtime_error("RenderSettings threw: " + failure);
    }
    return lastFrame_;
}

}  // namespace sim::ui
