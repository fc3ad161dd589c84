#include "tools/plexar-sim/screen/Image.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <stb_image_write.h>

namespace sim::ui {

Colour Image::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height) {
        throw std::out_of_range("pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is outside the " +
                                std::to_string(width) + "x" + std::to_string(height) + " picture");
    }
    const std::uint8_t* pixel = rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    return Colour{pixel[0] / 255.0f, pixel[1] / 255.0f, pixel[2] / 255.0f, pixel[3] / 255.0f};
}

void WritePng(const Image& image, const std::filesystem::path& file)
{
    errno = 0;
    // On Windows stb's writer takes the name as UTF-8 (STBIW_WINDOWS_UTF8), so no folder name is
    // narrowed to the system's code page.
    if (stbi_write_png(file.u8string().c_str(), image.width, image.height, 4, image.rgba.data(), image.width * 4) == 0) {
        const std::string reason = errno != 0 ? std::strerror(errno) : "the PNG encoder failed";
        throw std::runtime_error("cannot write the picture " + file.string() + ": " + reason);
    }
}

}  // namespace sim::ui
