#include "sim/ui/FrameReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <vector>

#include <imgui_internal.h>

#include "sim/ui/DrawCommands.h"

namespace sim::ui {
namespace {

// Pen positions within one text are sums of glyph advances; anything further off than this is
// another text.
constexpr float Exact = 0.01f;

std::uint64_t UvKey(const ImVec2& uv)
{
    std::uint32_t u = 0;
    std::uint32_t v = 0;
    std::memcpy(&u, &uv.x, sizeof u);
    std::memcpy(&v, &uv.y, sizeof v);
    return (std::uint64_t{u} << 32) | v;
}

bool SameUv(const ImVec2& one, const ImVec2& other)
{
    return one.x == other.x && one.y == other.y;
}

ImU32 Rgb(ImU32 colour)
{
    return colour & ~IM_COL32_A_MASK;
}

ImU32 StyleRgb(const ImGuiStyle& style, ImGuiCol colour)
{
    return Rgb(ImGui::ColorConvertFloat4ToU32(style.Colors[colour]));
}

bool RgbIsOneOf(const ImGuiStyle& style, ImU32 colour, std::initializer_list<ImGuiCol> colours)
{
    return std::any_of(colours.begin(), colours.end(),
                       [&](ImGuiCol candidate) { return Rgb(colour) == StyleRgb(style, candidate); });
}

Colour ToColour(ImU32 colour)
{
    const ImVec4 c = ImGui::ColorConvertU32ToFloat4(colour);
    return Colour{c.x, c.y, c.z, c.w};
}

// One drawn glyph.
struct GlyphQuad {
    const ImFontGlyph* glyph;
    float pen;  // where the pen stood when the glyph was drawn
    float lineTop;
    ImU32 colour;
};

// One triangle that is not part of a glyph, with its bounds and its most opaque colour (the edge
// vertices of an anti-aliased shape are transparent).
struct Shape {
    ImVec2 min;
    ImVec2 max;
    ImU32 colour;
    bool solid;  // filled with the atlas's white pixel

    bool Contains(float x, float y) const { return x >= min.x && x <= max.x && y >= min.y && y <= max.y; }
};

Shape ShapeOf(const ImDrawVert& a, const ImDrawVert& b, const ImDrawVert& c, const ImVec2& whitePixel)
{
    Shape shape;
    shape.min = ImVec2(std::min({a.pos.x, b.pos.x, c.pos.x}), std::min({a.pos.y, b.pos.y, c.pos.y}));
    shape.max = ImVec2(std::max({a.pos.x, b.pos.x, c.pos.x}), std::max({a.pos.y, b.pos.y, c.pos.y}));
    shape.colour = a.col;
    for (ImU32 colour : {b.col, c.col}) {
        if ((colour & IM_COL32_A_MASK) > (shape.colour & IM_COL32_A_MASK)) {
            shape.colour = colour;
        }
    }
    shape.solid = SameUv(a.uv, whitePixel) && SameUv(b.uv, whitePixel) && SameUv(c.uv, whitePixel);
    return shape;
}

}  // namespace

struct FrameReader::Drawn {
    // Glyphs drawn one right after the other, with nothing else between them.
    std::vector<std::vector<GlyphQuad>> runs;
    std::vector<Shape> shapes;
};

FrameReader::FrameReader(const ImFont& font, const ImGuiStyle& style) : font_(font), style_(style)
{
    for (const ImFontGlyph& glyph : font_.Glyphs) {
        if (glyph.Visible) {
            glyphByUv_.emplace(UvKey(ImVec2(glyph.U0, glyph.V0)), &glyph);
        }
    }
}

const ImFontGlyph* FrameReader::GlyphAt(const ImVec2& uv) const
{
    const auto found = glyphByUv_.find(UvKey(uv));
    return found == glyphByUv_.end() ? nullptr : found->second;
}

Frame FrameReader::Read(const ImDrawData& drawData) const
{
    Drawn drawn = Collect(drawData);
    std::vector<DrawnItem> items = Texts(drawn);
    for (DrawnItem& item : items) {
        ClassifyWidget(item, drawn);
    }
    for (DrawnItem& separator : Separators(drawn)) {
        items.push_back(std::move(separator));
    }
    return Frame(std::move(items), ToColour(ImGui::ColorConvertFloat4ToU32(style_.Colors[ImGuiCol_Text])));
}

FrameReader::Drawn FrameReader::Collect(const ImDrawData& drawData) const
{
    const ImVec2 whitePixel = font_.ContainerAtlas->TexUvWhitePixel;
    Drawn drawn;
    ForEachDrawCommand(drawData, [&](const ImDrawCmd& command, const ImDrawIdx* indices, const ImDrawVert* vertices) {
        drawn.runs.emplace_back();
        for (unsigned i = 0; i + 3 <= command.ElemCount;) {
            const ImDrawIdx* at = indices + i;
            const ImDrawVert& first = vertices[at[0]];
            const ImFontGlyph* glyph = GlyphAt(first.uv);
            const bool isQuad = i + 6 <= command.ElemCount && at[1] == at[0] + 1 && at[2] == at[0] + 2 &&
                                at[3] == at[0] && at[4] == at[0] + 2 && at[5] == at[0] + 3;
            if (glyph != nullptr && isQuad && SameUv(vertices[at[2]].uv, ImVec2(glyph->U1, glyph->V1))) {
                drawn.runs.back().push_back(
                    GlyphQuad{glyph, first.pos.x - glyph->X0, first.pos.y - glyph->Y0, first.col});
                i += 6;
                continue;
            }
            if (!drawn.runs.back().empty()) {
                drawn.runs.emplace_back();
            }
            drawn.shapes.push_back(ShapeOf(first, vertices[at[1]], vertices[at[2]], whitePixel));
            i += 3;
        }
    });
    return drawn;
}

std::vector<DrawnItem> FrameReader::Texts(const Drawn& drawn) const
{
    const ImFontGlyph* space = font_.FindGlyphNoFallback(' ');
    const float spaceAdvance = space != nullptr ? space->AdvanceX : font_.FallbackAdvanceX;
    std::vector<DrawnItem> items;
    std::vector<GlyphQuad> text;
    auto finishText = [&] {
        if (text.empty()) {
            return;
        }
        DrawnItem item;
        for (std::size_t g = 0; g < text.size(); ++g) {
            if (g > 0) {
                const float gap = text[g].pen - (text[g - 1].pen + text[g - 1].glyph->AdvanceX);
                item.text.append(static_cast<std::size_t>(std::lround(gap / spaceAdvance)), ' ');
            }
            char utf8[5] = {};
            item.text += ImTextCharToUtf8(utf8, text[g].glyph->Codepoint);
        }
        const GlyphQuad& last = text.back();
        item.box = Box{text.front().pen, text.front().lineTop, last.pen + last.glyph->AdvanceX - text.front().pen,
                       font_.FontSize};
        item.colour = ToColour(text.front().colour);
        items.push_back(std::move(item));
        text.clear();
    };
    for (const auto& run : drawn.runs) {
        for (const GlyphQuad& quad : run) {
            if (!text.empty()) {
                const GlyphQuad& last = text.back();
                const float gap = quad.pen - (last.pen + last.glyph->AdvanceX);
                const float spaces = std::round(gap / spaceAdvance);
                const bool sameText = std::fabs(quad.lineTop - last.lineTop) < Exact && quad.colour == last.colour &&
                                      spaces >= 0 && std::fabs(gap - spaces * spaceAdvance) < Exact;
                if (!sameText) {
                    finishText();
                }
            }
            text.push_back(quad);
        }
        finishText();
    }
    return items;
}

void FrameReader::ClassifyWidget(DrawnItem& item, const Drawn& drawn) const
{
    const float centreY = item.box.CentreY();
    for (const Shape& shape : drawn.shapes) {
        if (!shape.solid) {
            continue;
        }
        const bool frameEndsBeforeLabel = std::fabs(shape.max.x + style_.ItemInnerSpacing.x - item.box.x) <= 1.0f &&
                                          shape.min.y <= centreY && centreY <= shape.max.y;
        if (frameEndsBeforeLabel &&
            RgbIsOneOf(style_, shape.colour, {ImGuiCol_FrameBg, ImGuiCol_FrameBgHovered, ImGuiCol_FrameBgActive})) {
            item.kind = DrawnItem::Kind::Checkbox;
            item.ticked = std::any_of(drawn.shapes.begin(), drawn.shapes.end(), [&](const Shape& mark) {
                return Rgb(mark.colour) == StyleRgb(style_, ImGuiCol_CheckMark) &&
                       shape.Contains((mark.min.x + mark.max.x) / 2, (mark.min.y + mark.max.y) / 2);
            });
            return;
        }
        const bool underLabel = shape.Contains(item.box.x, item.box.y) &&
                                shape.Contains(item.box.x + item.box.width, item.box.y + item.box.height);
        if (underLabel &&
            RgbIsOneOf(style_, shape.colour, {ImGuiCol_Button, ImGuiCol_ButtonHovered, ImGuiCol_ButtonActive})) {
            item.kind = DrawnItem::Kind::Button;
            return;
        }
    }
}

std::vector<DrawnItem> FrameReader::Separators(const Drawn& drawn) const
{
    // Triangles in the separator colour, joined by the height they are drawn at.
    std::vector<Shape> lines;
    for (const Shape& shape : drawn.shapes) {
        if (Rgb(shape.colour) != StyleRgb(style_, ImGuiCol_Separator)) {
            continue;
        }
        const float centre = (shape.min.y + shape.max.y) / 2;
        auto line = std::find_if(lines.begin(), lines.end(), [&](const Shape& known) {
            return std::fabs((known.min.y + known.max.y) / 2 - centre) < 1.0f;
        });
        if (line == lines.end()) {
            lines.push_back(shape);
            continue;
        }
        line->min = ImVec2(std::min(line->min.x, shape.min.x), std::min(line->min.y, shape.min.y));
        line->max = ImVec2(std::max(line->max.x, shape.max.x), std::max(line->max.y, shape.max.y));
    }
    std::vector<DrawnItem> separators;
    for (const Shape& line : lines) {
        if (line.max.x - line.min.x > 4 * (line.max.y - line.min.y)) {
            DrawnItem item;
            item.kind = DrawnItem::Kind::Separator;
            item.box = Box{line.min.x, line.min.y, line.max.x - line.min.x, line.max.y - line.min.y};
            item.colour = ToColour(line.colour);
            separators.push_back(std::move(item));
        }
    }
    return separators;
}

}  // namespace sim::ui
