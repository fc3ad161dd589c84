#pragma once
// Reads back what a Dear ImGui frame drew, from its draw lists alone.
//
// Text: every glyph is a quad (six indices a, a+1, a+2, a, a+2, a+3) whose corner texture
// coordinates are that glyph's in the font atlas, so each quad maps back to exactly one character.
// The quad's top minus the glyph's offset is the top of its line of text, and its left minus the
// glyph's offset is the pen position; consecutive glyphs whose pens are a whole number of space
// advances apart, on one line, in one colour and with nothing else drawn between them, are one
// text (the gaps are its spaces, which draw nothing). Vertex colours give colour and alpha.
//
// Widgets: a text is a button's label when a filled shape in one of the style's button colours
// lies under it, and a checkbox's label when a filled shape in a frame colour ends the style's
// inner spacing left of it; the checkbox is ticked when a shape in the check-mark colour lies
// inside that frame. Lines in the separator colour are separators. Everything is compared with
// the style in force, never with positions written into the reader.
//
// Threads: the drawing thread, between ImGui::Render and the next ImGui::NewFrame of the context
// whose font and style it was given (both must outlive it).
#include <cstdint>
#include <unordered_map>
#include <vector>

#include <imgui.h>

#include "sim/ui/Frame.h"

namespace sim::ui {

class FrameReader {
public:
    FrameReader(const ImFont& font, const ImGuiStyle& style);

    Frame Read(const ImDrawData& drawData) const;

private:
    struct Drawn;

    // Glyph quads and other triangles, in the order they were drawn.
    Drawn Collect(const ImDrawData& drawData) const;
    std::vector<DrawnItem> Texts(const Drawn& drawn) const;
    // Makes the text a button or checkbox label when the shapes around it say so.
    void ClassifyWidget(DrawnItem& item, const Drawn& drawn) const;
    std::vector<DrawnItem> Separators(const Drawn& drawn) const;
    // The glyph whose atlas rectangle starts at this texture coordinate.
    const ImFontGlyph* GlyphAt(const ImVec2& uv) const;

    const ImFont& font_;
    const ImGuiStyle& style_;
    std::unordered_map<std::uint64_t, const ImFontGlyph*> glyphByUv_;
};

}  // namespace sim::ui
