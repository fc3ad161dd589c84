#include "sim/ToastTexture.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>

#include <fmt/format.h>
#include <stb_image.h>

namespace sim {

ToastTexture ReadToastTexture(const std::filesystem::path& file)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) {
        throw std::runtime_error(error.message());
    }
    if (size > MaxTextureFileBytes) {
        throw std::runtime_error(fmt::format("the file has {} bytes, more than the {} a texture may have", size,
                                             MaxTextureFileBytes));
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error(std::strerror(errno));
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != size) {
        throw std::runtime_error("the file changed while it was read");
    }

    int width = 0;
    int height = 0;
    int channels = 0;
    const int length = static_cast<int>(bytes.size());
    if (stbi_info_from_memory(bytes.data(), length, &width, &height, &channels) == 0) {
        throw std::runtime_error(fmt::format("not a picture: {}", stbi_failure_reason()));
    }
    if (width > MaxTextureSide || height > MaxTextureSide) {
        throw std::runtime_error(fmt::format("{}x{} is larger than {}x{}", width, height, MaxTextureSide, MaxTextureSide));
    }
    const std::unique_ptr<unsigned char, void (*)(void*)> pixels(
        stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, 4), stbi_image_free);
    if (pixels == nullptr) {
        throw std::runtime_error(fmt::format("not a picture: {}", stbi_failure_reason()));
    }
    ToastTexture texture;
    texture.width = width;
    texture.height = height;
    texture.rgba.assign(pixels.get(), pixels.get() + static_cast<std::size_t>(width) * height * 4);
    return texture;
}

}  // namespace sim
