// qvx-logo: draws the plug-in's toast logo, a white "Q" on a violet rounded square, and writes it
// as a 64x64 uncompressed 32-bit TGA (top-left origin, straight alpha). The repository keeps its
// output in qvxinventorysync/qvx_logo.tga; `qvx-logo --check FILE` fails when FILE differs from
// what this program draws, so the picture and its design cannot drift apart.
//
//   qvx-logo FILE           writes the logo
//   qvx-logo --check FILE   exits 0 when FILE holds exactly the logo, 1 otherwise
//
// Threads: one.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int Size = 64;
// Sub-samples per pixel side, for smooth edges.
constexpr int Samples = 4;

struct Rgb {
    float r, g, b;
};

// The project's colours: a violet from top to bottom, a white mark, an amber tail.
constexpr Rgb VioletTop{0x7b / 255.0f, 0x4d / 255.0f, 0xf0 / 255.0f};
constexpr Rgb VioletBottom{0x3a / 255.0f, 0x1c / 255.0f, 0x8c / 255.0f};
constexpr Rgb White{1.0f, 1.0f, 1.0f};
constexpr Rgb Amber{0xff / 255.0f, 0xb0 / 255.0f, 0x20 / 255.0f};

// Inside a square of side 60 centred in the picture, with corners rounded at radius 12.
bool InRoundedSquare(float x, float y)
{
    constexpr float Half = 30.0f;
    constexpr float Radius = 12.0f;
    const float dx = std::max(std::fabs(x - Size / 2.0f) - (Half - Radius), 0.0f);
    const float dy = std::max(std::fabs(y - Size / 2.0f) - (Half - Radius), 0.0f);
    return std::fabs(x - Size / 2.0f) <= Half && std::fabs(y - Size / 2.0f) <= Half &&
           dx * dx + dy * dy <= Radius * Radius;
}

// The ring of the "Q": centred a little above the middle, 7 pixels thick.
bool InRing(float x, float y)
{
    const float dx = x - 31.0f;
    const float dy = y - 30.0f;
    const float distance = std::sqrt(dx * dx + dy * dy);
    return distance >= 11.5f && distance <= 18.5f;
}

// The tail of the "Q": a bar from inside the ring's lower right out past it, 7 pixels wide.
bool InTail(float x, float y)
{
    const float ax = 34.0f, ay = 34.0f, bx = 50.0f, by = 51.0f;
    const float lengthSquared = (bx - ax) * (bx - ax) + (by - ay) * (by - ay);
    const float t = std::clamp(((x - ax) * (bx - ax) + (y - ay) * (by - ay)) / lengthSquared, 0.0f, 1.0f);
    const float px = ax + t * (bx - ax) - x;
    const float py = ay + t * (by - ay) - y;
    return px * px + py * py <= 3.5f * 3.5f;
}

// 8-bit BGRA pixels, rows from the top.
std::vector<std::uint8_t> DrawLogo()
{
    std::vector<std::uint8_t> pixels;
    pixels.reserve(Size * Size * 4);
    for (int row = 0; row < Size; ++row) {
        for (int column = 0; column < Size; ++column) {
            float r = 0, g = 0, b = 0, coverage = 0;
            for (int sy = 0; sy < Samples; ++sy) {
                for (int sx = 0; sx < Samples; ++sx) {
                    const float x = column + (sx + 0.5f) / Samples;
                    const float y = row + (sy + 0.5f) / Samples;
                    if (!InRoundedSquare(x, y)) {
                        continue;
                    }
                    const float down = y / Size;
                    Rgb colour{VioletTop.r + (VioletBottom.r - VioletTop.r) * down,
                               VioletTop.g + (VioletBottom.g - VioletTop.g) * down,
                               VioletTop.b + (VioletBottom.b - VioletTop.b) * down};
                    if (InTail(x, y)) {
                        colour = Amber;
                    } else if (InRing(x, y)) {
                        colour = White;
                    }
                    r += colour.r;
                    g += colour.g;
                    b += colour.b;
                    coverage += 1;
                }
            }
            const auto channel = [&](float sum) {
                return static_cast<std::uint8_t>(coverage == 0 ? 0 : std::lround(sum / coverage * 255.0f));
            };
            pixels.push_back(channel(b));
            pixels.push_back(channel(g));
            pixels.push_back(channel(r));
            pixels.push_back(static_cast<std::uint8_t>(std::lround(coverage / (Samples * Samples) * 255.0f)));
        }
    }
    return pixels;
}

std::vector<std::uint8_t> TgaFile()
{
    constexpr std::uint8_t TrueColour = 2;
    constexpr std::uint8_t AlphaBitsTopLeft = 8 | 0x20;
    std::vector<std::uint8_t> file = {0, 0, TrueColour, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                      Size & 0xff, Size >> 8, Size & 0xff, Size >> 8, 32, AlphaBitsTopLeft};
    const std::vector<std::uint8_t> pixels = DrawLogo();
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool check = argc == 3 && std::string(argv[1]) == "--check";
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: qvx-logo FILE | qvx-logo --check FILE\n");
        return 2;
    }
    const std::string path = argv[argc - 1];
    const std::vector<std::uint8_t> logo = TgaFile();
    if (check) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> found((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.is_open() || found != logo) {
            std::fprintf(stderr, "qvx-logo: %s is not the logo this program draws; run qvx-logo %s\n", path.c_str(),
                         path.c_str());
            return 1;
        }
        return 0;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(logo.data()), static_cast<std::streamsize>(logo.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "qvx-logo: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
