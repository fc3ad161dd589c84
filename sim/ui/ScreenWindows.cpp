#include "sim/ui/ScreenWindows.h"

#include <algorithm>
#include <ctime>
#include <string>

#include <fmt/format.h>

#include "sim/ToastTexture.h"

namespace sim::ui {
namespace {

constexpr float Margin = 10.0f;
constexpr float StatusHeight = 26.0f;
// A toast's picture is drawn this many pixels square, whatever its own size.
constexpr float PictureSide = 40.0f;

// Every window is given its size: one that fits itself to its content stays hidden in its
// first frame, and a picture is a single frame.
constexpr ImGuiWindowFlags ToastFlags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                                        ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoFocusOnAppearing |
                                        ImGuiWindowFlags_NoNav | ImGuiWindowFlags_NoResize;
constexpr ImGuiWindowFlags ModalFlags = ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                                        ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoResize;
constexpr float ModalWidth = 440.0f;
constexpr ImGuiWindowFlags StatusFlags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                                         ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoNav |
                                         ImGuiWindowFlags_NoFocusOnAppearing;

// The toast kinds' colours: 0 information, 1 success, 2 warning, 3 error; others grey.
ImVec4 KindColour(std::uint8_t kind)
{
    switch (kind) {
    case 0:
        return ImVec4(0.35f, 0.60f, 1.00f, 1.0f);
    case 1:
        return ImVec4(0.30f, 0.85f, 0.40f, 1.0f);
    case 2:
        return ImVec4(1.00f, 0.70f, 0.15f, 1.0f);
    case 3:
        return ImVec4(1.00f, 0.30f, 0.30f, 1.0f);
    default:
        return ImVec4(0.60f, 0.60f, 0.60f, 1.0f);
    }
}

ImTextureID IdOf(const ToastTexture& texture)
{
    return reinterpret_cast<ImTextureID>(const_cast<ToastTexture*>(&texture));
}

void DrawToasts(const ScreenSnapshot& screen, const ScreenLayout& layout)
{
    float top = Margin;
    int number = 0;
    for (const ScreenSnapshot::Toast& shown : screen.toasts) {
        const ToastRecord& toast = shown.toast;
        const ImGuiStyle& style = ImGui::GetStyle();
        const float width = std::clamp(toast.width, 120.0f, layout.width - layout.settingsWidth - 2 * Margin);
        const float textWidth = width - PictureSide - style.ItemSpacing.x - 2 * style.WindowPadding.x;
        const float textHeight = ImGui::GetTextLineHeightWithSpacing() +
                                 ImGui::CalcTextSize(toast.text.c_str(), nullptr, false, textWidth).y;
        const float height = std::clamp(std::max(toast.height, textHeight + 2 * style.WindowPadding.y), 30.0f, 300.0f);
        ImGui::SetNextWindowPos(ImVec2(layout.width - width - Margin, top));
        ImGui::SetNextWindowSize(ImVec2(width, height));
        ImGui::PushStyleColor(ImGuiCol_Border, KindColour(toast.toastType));
        ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 2.0f);
        ImGui::Begin(fmt::format("##toast{}", number++).c_str(), nullptr, ToastFlags);
        if (shown.texture) {
            ImGui::Image(IdOf(*shown.texture), ImVec2(PictureSide, PictureSide));
        } else {
            ImGui::TextDisabled("[%s]", toast.texture.c_str());
        }
        ImGui::SameLine();
        ImGui::BeginGroup();
        ImGui::TextUnformatted(toast.title.c_str());
        ImGui::SameLine();
        ImGui::TextColored(KindColour(toast.toastType), "kind %u, %.1f s left", toast.toastType, shown.secondsLeft);
        ImGui::PushTextWrapPos(width - style.WindowPadding.x);
        ImGui::TextUnformatted(toast.text.c_str());
        ImGui::PopTextWrapPos();
        ImGui::EndGroup();
        top += height + Margin / 2;
        ImGui::End();
        ImGui::PopStyleVar();
        ImGui::PopStyleColor();
    }
}

void DrawModal(const ScreenSnapshot::OpenModal& open, const ScreenLayout& layout, ScreenWindowsDrawn& drawn)
{
    const ModalRecord& modal = open.modal;
    const ImGuiStyle& style = ImGui::GetStyle();
    const float wrap = ModalWidth - 2 * style.WindowPadding.x;
    const float lines = (modal.icon.empty() ? 0 : 1) + 1 + 1;  // icon, spacing, buttons
    const float height = ImGui::GetFrameHeight() + 2 * style.WindowPadding.y +
                         ImGui::CalcTextSize(modal.body.c_str(), nullptr, false, wrap).y +
                         lines * ImGui::GetFrameHeightWithSpacing();
    ImGui::SetNextWindowPos(ImVec2(layout.width / 2, layout.height / 2), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSize(ImVec2(ModalWidth, height));
    // The id follows the modal's number, so a new modal with the same title is a new window.
    ImGui::Begin(fmt::format("{}##modal{}", modal.title, open.index).c_str(), nullptr, ModalFlags);
    if (!modal.icon.empty()) {
        ImGui::TextDisabled("icon: %s", modal.icon.c_str());
    }
    ImGui::PushTextWrapPos(ModalWidth - style.WindowPadding.x);
    ImGui::TextUnformatted(modal.body.c_str());
    ImGui::PopTextWrapPos();
    ImGui::Spacing();
    for (std::size_t button = 0; button < modal.buttons.size(); ++button) {
        if (button > 0) {
            ImGui::SameLine();
        }
        if (ImGui::Button(fmt::format("{}##button{}", modal.buttons[button].text, button).c_str(), ImVec2(90, 0))) {
            drawn.pressedButton = button;
        }
        const ImVec2 min = ImGui::GetItemRectMin();
        const ImVec2 max = ImGui::GetItemRectMax();
        drawn.modalButtons.push_back(Box{min.x, min.y, max.x - min.x, max.y - min.y});
    }
    ImGui::End();
}

void DrawStatus(const ScreenSnapshot& screen, const ScreenLayout& layout)
{
    const std::time_t seconds = Clock::to_time_t(screen.now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(screen.now.time_since_epoch()).count() % 1000;
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char clock[32];
    std::strftime(clock, sizeof clock, "%Y-%m-%d %H:%M:%S", &utc);
    ImGui::SetNextWindowPos(ImVec2(0, layout.height - StatusHeight));
    ImGui::SetNextWindowSize(ImVec2(layout.width, StatusHeight));
    ImGui::Begin("##status", nullptr, StatusFlags);
    ImGui::Text("%s.%03d UTC, %s  |  %zu request%s in flight  |  %zu toast%s  |  %s", clock, static_cast<int>(millis),
                screen.virtualTime ? "virtual time" : "real time", screen.requestsInFlight,
                screen.requestsInFlight == 1 ? "" : "s", screen.toasts.size(), screen.toasts.size() == 1 ? "" : "s",
                screen.modal ? "a modal is open" : "no modal");
    ImGui::End();
}

}  // namespace

ScreenWindowsDrawn DrawScreenWindows(const ScreenSnapshot& screen, const ScreenLayout& layout)
{
    DrawToasts(screen, layout);
    DrawStatus(screen, layout);
    ScreenWindowsDrawn drawn;
    if (screen.modal) {
        DrawModal(*screen.modal, layout, drawn);
    }
    return drawn;
}

TextureTable ScreenTextures(const ScreenSnapshot& screen)
{
    TextureTable textures;
    for (const ScreenSnapshot::Toast& shown : screen.toasts) {
        if (shown.texture) {
            textures[IdOf(*shown.texture)] = TextureView{shown.texture->rgba.data(), shown.texture->width,
                                                         shown.texture->height};
        }
    }
    return textures;
}

}  // namespace sim::ui
