#pragma once
// A picture of a frame: 8-bit RGBA pixels, row by row from the top, and writing it as a PNG file.
//
// Threads: a plain value; any thread. WritePng touches only the file it writes.
#include <cstdint>
#include <filesystem>
#include <vector>

#include "sim/ui/Frame.h"

namespace sim::ui {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // width * height * 4 bytes

    // The pixel's colour. Throws std::out_of_range outside the picture.
    Colour At(int x, int y) const;
};

// Writes the picture as a PNG file (replacing one that is there). Throws std::runtime_error
// naming the file when it cannot be written.
void WritePng(const Image& image, const std::filesystem::path& file);

}  // namespace sim::ui
