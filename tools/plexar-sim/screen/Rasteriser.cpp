#include "tools/plexar-sim/screen/Rasteriser.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "sim/ui/DrawCommands.h"

namespace sim::ui {

static_assert(std::is_same_v<ImTextureID, TextureTable::key_type>, "textures are found by the ids frames draw with");

namespace {

struct Rgba {
    float r, g, b, a;
};

Rgba ToRgba(ImU32 colour)
{
    const ImVec4 c = ImGui::ColorConvertU32ToFloat4(colour);
    return Rgba{c.x, c.y, c.z, c.w};
}

// Twice the signed area of (a, b, p): which side of the edge a->b the point lies on.
float Edge(const ImVec2& a, const ImVec2& b, const ImVec2& p)
{
    return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

// A pixel centre exactly on an edge belongs to one of the two triangles that share the edge: the
// one that runs along it downwards (or rightwards, when level).
bool Covers(float weight, const ImVec2& from, const ImVec2& to)
{
    return weight > 0 || (weight == 0 && (to.y > from.y || (to.y == from.y && to.x > from.x)));
}

// The pixels a triangle may cover: its bounds within the clip rectangle and the picture.
struct PixelRange {
    int left;
    int top;
    int right;  // past the last
    int bottom;  // past the last
};

PixelRange Bounds(const ImVec2& a, const ImVec2& b, const ImVec2& c, const ImVec4& clip, const Image& image)
{
    const float left = std::max(std::min({a.x, b.x, c.x}), clip.x);
    const float top = std::max(std::min({a.y, b.y, c.y}), clip.y);
    const float right = std::min(std::max({a.x, b.x, c.x}), clip.z);
    const float bottom = std::min(std::max({a.y, b.y, c.y}), clip.w);
    return PixelRange{std::max(0, static_cast<int>(std::floor(left))), std::max(0, static_cast<int>(std::floor(top))),
                      std::min(image.width, static_cast<int>(std::ceil(right))),
                      std::min(image.height, static_cast<int>(std::ceil(bottom)))};
}

Rgba Mix(float ka, const Rgba& a, float kb, const Rgba& b, float kc, const Rgba& c)
{
    return Rgba{ka * a.r + kb * b.r + kc * c.r, ka * a.g + kb * b.g + kc * c.g, ka * a.b + kb * b.b + kc * c.b,
                ka * a.a + kb * b.a + kc * c.a};
}

class Canvas {
public:
    explicit Canvas(Image& image) : image_(image) {}

    // Positions and the clip rectangle are in picture coordinates.
    void Triangle(const TextureView& texture, const ImDrawVert& a, ImDrawVert b, ImDrawVert c, const ImVec4& clip) const
    {
        float area = Edge(a.pos, b.pos, c.pos);
        if (area == 0) {
            return;
        }
        if (area < 0) {
            std::swap(b, c);
            area = -area;
        }
        const Rgba colourA = ToRgba(a.col);
        const Rgba colourB = ToRgba(b.col);
        const Rgba colourC = ToRgba(c.col);
        const PixelRange range = Bounds(a.pos, b.pos, c.pos, clip, image_);
        for (int y = range.top; y < range.bottom; ++y) {
            for (int x = range.left; x < range.right; ++x) {
                const ImVec2 p(x + 0.5f, y + 0.5f);
                const float wa = Edge(b.pos, c.pos, p);
                const float wb = Edge(c.pos, a.pos, p);
                const float wc = Edge(a.pos, b.pos, p);
                if (!Covers(wa, b.pos, c.pos) || !Covers(wb, c.pos, a.pos) || !Covers(wc, a.pos, b.pos)) {
                    continue;
                }
                const float ka = wa / area;
                const float kb = wb / area;
                const float kc = wc / area;
                const Rgba colour = Mix(ka, colourA, kb, colourB, kc, colourC);
                const Rgba texel = Texel(texture, ka * a.uv.x + kb * b.uv.x + kc * c.uv.x, ka * a.uv.y + kb * b.uv.y + kc * c.uv.y);
                Blend(x, y, Rgba{colour.r * texel.r, colour.g * texel.g, colour.b * texel.b, colour.a * texel.a});
            }
        }
    }

private:
    static Rgba Texel(const TextureView& texture, float u, float v)
    {
        const int x = std::clamp(static_cast<int>(u * texture.width), 0, texture.width - 1);
        const int y = std::clamp(static_cast<int>(v * texture.height), 0, texture.height - 1);
        const unsigned char* texel = texture.rgba + (static_cast<std::size_t>(y) * texture.width + x) * 4;
        return Rgba{texel[0] / 255.0f, texel[1] / 255.0f, texel[2] / 255.0f, texel[3] / 255.0f};
    }

    void Blend(int x, int y, const Rgba& source) const
    {
        std::uint8_t* pixel = image_.rgba.data() + (static_cast<std::size_t>(y) * image_.width + x) * 4;
        const float alpha = std::clamp(source.a, 0.0f, 1.0f);
        const float channels[3] = {source.r, source.g, source.b};
        for (int channel = 0; channel < 3; ++channel) {
            const float blended = channels[channel] * 255.0f * alpha + pixel[channel] * (1.0f - alpha);
            pixel[channel] = static_cast<std::uint8_t>(std::clamp(std::lround(blended), 0L, 255L));
        }
    }

    Image& image_;
};

}  // namespace

Image Rasterise(const ImDrawData& drawData, const TextureTable& textures, ImU32 background)
{
    Image image;
    image.width = static_cast<int>(drawData.DisplaySize.x);
    image.height = static_cast<int>(drawData.DisplaySize.y);
    image.rgba.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    const ImU32 opaque = background | IM_COL32_A_MASK;
    for (std::size_t pixel = 0; pixel < image.rgba.size(); pixel += 4) {
        image.rgba[pixel] = static_cast<std::uint8_t>(opaque >> IM_COL32_R_SHIFT);
        image.rgba[pixel + 1] = static_cast<std::uint8_t>(opaque >> IM_COL32_G_SHIFT);
        image.rgba[pixel + 2] = static_cast<std::uint8_t>(opaque >> IM_COL32_B_SHIFT);
        image.rgba[pixel + 3] = 255;
    }
    const Canvas canvas(image);
    const ImVec2 origin = drawData.DisplayPos;
    ForEachDrawCommand(drawData, [&](const ImDrawCmd& command, const ImDrawIdx* indices, const ImDrawVert* vertices) {
        const auto texture = textures.find(command.GetTexID());
        if (texture == textures.end()) {
            throw std::invalid_argument("the frame draws with texture " +
                                        std::to_string(reinterpret_cast<std::uintptr_t>(command.GetTexID())) +
                                        ", which the picture has no texels for");
        }
        const ImVec4 clip(command.ClipRect.x - origin.x, command.ClipRect.y - origin.y,
                          command.ClipRect.z - origin.x, command.ClipRect.w - origin.y);
        for (unsigned i = 0; i + 3 <= command.ElemCount; i += 3) {
            ImDrawVert corners[3] = {vertices[indices[i]], vertices[indices[i + 1]], vertices[indices[i + 2]]};
            for (ImDrawVert& corner : corners) {
                corner.pos = ImVec2(corner.pos.x - origin.x, corner.pos.y - origin.y);
            }
            canvas.Triangle(texture->second, corners[0], corners[1], corners[2], clip);
        }
    });
    return image;
}

}  // namespace sim::ui
