#include "tools/plexar-sim/screen/Pictures.h"

#include "tools/plexar-sim/screen/Rasteriser.h"

namespace sim::ui {
namespace {

// What shows through the window's translucent background in a picture.
constexpr ImU32 DesktopColour = IM_COL32(24, 24, 28, 255);

}  // namespace

Image SettingsPicture(const SettingsWindow& window)
{
    Image picture;
    window.UseLastFrame([&](const ImDrawData& drawData, const TextureTable& textures) {
        picture = Rasterise(drawData, textures, DesktopColour);
    });
    return picture;
}

Image ScreenPicture(SettingsWindow& window, const ScreenSnapshot& screen)
{
    Image picture;
    window.UseScreenFrame(screen, [&](const ImDrawData& drawData, const TextureTable& textures) {
        picture = Rasterise(drawData, textures, DesktopColour);
    });
    return picture;
}

}  // namespace sim::ui
