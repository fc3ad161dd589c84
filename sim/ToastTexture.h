#pragma once
// A toast texture as the host keeps it after LoadToastTexture: the picture file read and decoded
// to 8-bit RGBA, so the screen can show it beside a toast. The file is one the plug-in's installer
// placed (a TGA for Quorvex; PNG, BMP and JPEG decode as well); what comes from the file is
// bounded before it is decoded.
//
// Threads: a plain value, immutable once read; shared between threads through
// std::shared_ptr<const ToastTexture>.
#include <cstdint>
#include <filesystem>
#include <vector>

namespace sim {

struct ToastTexture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // width * height * 4 bytes, rows from the top
};

// The largest picture file read, and the largest side of a picture decoded.
constexpr std::uintmax_t MaxTextureFileBytes = 4u << 20;
constexpr int MaxTextureSide = 1024;

// Reads and decodes the file. Throws std::runtime_error with the reason ("no such file", "not a
// picture: ...", "512x4096 is larger than 1024x1024") when it cannot.
ToastTexture ReadToastTexture(const std::filesystem::path& file);

}  // namespace sim
