#pragma once
// What one frame of the host's settings window showed: every text and widget label with where it
// was drawn, its colour and alpha, and the kind of widget it labels; and the separators. It is
// read back from the frame's draw lists (FrameReader), so a test or a scenario sees the page the
// way the player would, without a screen.
//
// Threads: a plain value, built on the drawing thread and readable from any thread.
#include <string>
#include <string_view>
#include <vector>

namespace sim::ui {

// Components from 0 to 1, as stored in the frame (8 bits each).
struct Colour {
    float r = 0;
    float g = 0;
    float b = 0;
    float a = 0;
};

struct Box {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;

    float CentreX() const { return x + width / 2; }
    float CentreY() const { return y + height / 2; }
};

struct DrawnItem {
    enum class Kind { Text, Button, Checkbox, Separator };

    Kind kind = Kind::Text;
    // The text as drawn; empty for a separator.
    std::string text;
    // A text: from its first to its last character, one line high. A separator: the line.
    Box box;
    // The text's colour with the alpha it was drawn at.
    Colour colour;
    // A checkbox: whether it shows its tick.
    bool ticked = false;

    // Drawn at reduced alpha, as a disabled widget is.
    bool Greyed() const;
};

class Frame {
public:
    Frame() = default;
    // `defaultText` is the window's normal text colour, which Describe does not mention.
    Frame(std::vector<DrawnItem> items, Colour defaultText);

    // Top to bottom; on one row, left to right.
    const std::vector<DrawnItem>& Items() const { return items_; }
    // Items whose text is exactly `text`.
    std::vector<const DrawnItem*> FindAll(std::string_view text) const;
    // The one item whose text is exactly `text`. Throws std::invalid_argument when there is none
    // or more than one.
    const DrawnItem& Get(std::string_view text) const;
    bool Contains(std::string_view text) const;
    // The item a player means by `label`: the one item whose text is exactly `label`, else the one
    // button or checkbox whose label starts with the words of `label` ("Sync" for "Sync
    // Inventory" when no other widget starts so). Throws std::invalid_argument naming the page's
    // buttons and checkboxes when none or several fit.
    const DrawnItem& GetByLabel(std::string_view label) const;
    // Items on the same row as `item` (the item included), left to right.
    std::vector<const DrawnItem*> RowOf(const DrawnItem& item) const;

    // The page as text, one line per row: "[x] label" for a ticked checkbox, "[ ] label"
    // otherwise, "[label]" for a button, a line of dashes for a separator; a colour other than
    // the normal text colour and a reduced alpha follow the item in braces:
    //   "User code not set {red}", "[Sync Inventory] {greyed, alpha 0.50}".
    std::string Describe() const;

private:
    std::vector<std::vector<const DrawnItem*>> Rows() const;

    std::vector<DrawnItem> items_;
    Colour defaultText_;
};

}  // namespace sim::ui
