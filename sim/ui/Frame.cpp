#include "sim/ui/Frame.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

namespace sim::ui {
namespace {

// Colours are stored with 8 bits per component; two that agree there are the same colour.
int Byte(float component)
{
    return static_cast<int>(std::lround(component * 255.0f));
}

bool SameRgb(const Colour& one, const Colour& other)
{
    return Byte(one.r) == Byte(other.r) && Byte(one.g) == Byte(other.g) && Byte(one.b) == Byte(other.b);
}

std::string ColourName(const Colour& colour)
{
    if (SameRgb(colour, Colour{1, 0, 0, 1})) {
        return "red";
    }
    if (SameRgb(colour, Colour{0, 1, 0, 1})) {
        return "green";
    }
    return fmt::format("rgb {:.2f} {:.2f} {:.2f}", colour.r, colour.g, colour.b);
}

std::string Decorated(const DrawnItem& item)
{
    switch (item.kind) {
    case DrawnItem::Kind::Button:
        return "[" + item.text + "]";
    case DrawnItem::Kind::Checkbox:
        return (item.ticked ? "[x] " : "[ ] ") + item.text;
    case DrawnItem::Kind::Separator:
        return std::string(40, '-');
    case DrawnItem::Kind::Text:
        break;
    }
    return item.text;
}

// Items whose centre lies above this belong to the row that `first` starts.
float RowEnd(const DrawnItem& first)
{
    return first.box.CentreY() + std::max(first.box.height / 2, 1.0f);
}

}  // namespace

bool DrawnItem::Greyed() const
{
    return Byte(colour.a) < 255;
}

Frame::Frame(std::vector<DrawnItem> items, Colour defaultText)
    : items_(std::move(items)), defaultText_(defaultText)
{
    std::stable_sort(items_.begin(), items_.end(), [](const DrawnItem& one, const DrawnItem& other) {
        return one.box.CentreY() < other.box.CentreY();
    });
    // Within a row (centres closer than half a line), left to right.
    auto rowStart = items_.begin();
    while (rowStart != items_.end()) {
        const float rowEnd = RowEnd(*rowStart);
        auto next = std::find_if(rowStart, items_.end(),
                                 [rowEnd](const DrawnItem& item) { return item.box.CentreY() >= rowEnd; });
        std::stable_sort(rowStart, next, [](const DrawnItem& one, const DrawnItem& other) {
            return one.box.x < other.box.x;
        });
        rowStart = next;
    }
}

std::vector<const DrawnItem*> Frame::FindAll(std::string_view text) const
{
    std::vector<const DrawnItem*> found;
    for (const auto& item : items_) {
        if (item.kind != DrawnItem::Kind::Separator && item.text == text) {
            found.push_back(&item);
        }
    }
    return found;
}

const DrawnItem& Frame::Get(std::string_view text) const
{
    const auto found = FindAll(text);
    if (found.empty()) {
        throw std::invalid_argument(fmt::format("nothing labelled \"{}\" is on the page", text));
    }
    if (found.size() > 1) {
        throw std::invalid_argument(fmt::format("\"{}\" is on the page {} times", text, found.size()));
    }
    return *found.front();
}

const DrawnItem& Frame::GetByLabel(std::string_view label) const
{
    if (!FindAll(label).empty()) {
        return Get(label);
    }
    std::vector<const DrawnItem*> fitting;
    std::vector<std::string> widgets;
    for (const auto& item : items_) {
        if (item.kind != DrawnItem::Kind::Button && item.kind != DrawnItem::Kind::Checkbox) {
            continue;
        }
        widgets.push_back("\"" + item.text + "\"");
        const bool leadingWords = !label.empty() && item.text.size() > label.size() &&
                                  item.text.compare(0, label.size(), label) == 0 && item.text[label.size()] == ' ';
        if (leadingWords) {
            fitting.push_back(&item);
        }
    }
    if (fitting.size() == 1) {
        return *fitting.front();
    }
    const std::string listed =
        widgets.empty() ? std::string("it has no buttons or checkboxes")
                        : fmt::format("its buttons and checkboxes: {}", fmt::join(widgets, ", "));
    if (fitting.empty()) {
        throw std::invalid_argument(fmt::format("nothing labelled \"{}\" is on the page; {}", label, listed));
    }
    throw std::invalid_argument(fmt::format("\"{}\" starts {} labels; {}", label, fitting.size(), listed));
}

bool Frame::Contains(std::string_view text) const
{
    return !FindAll(text).empty();
}

std::vector<std::vector<const DrawnItem*>> Frame::Rows() const
{
    std::vector<std::vector<const DrawnItem*>> rows;
    float rowEnd = 0;
    for (const auto& item : items_) {
        if (rows.empty() || item.box.CentreY() >= rowEnd) {
            rows.emplace_back();
            rowEnd = RowEnd(item);
        }
        rows.back().push_back(&item);
    }
    return rows;
}

std::vector<const DrawnItem*> Frame::RowOf(const DrawnItem& item) const
{
    for (auto& row : Rows()) {
        if (std::find(row.begin(), row.end(), &item) != row.end()) {
            return row;
        }
    }
    return {};
}

std::string Frame::Describe() const
{
    std::string text;
    for (const auto& row : Rows()) {
        std::string line;
        for (const DrawnItem* item : row) {
            if (!line.empty()) {
                line += "  ";
            }
            line += Decorated(*item);
            if (item->kind == DrawnItem::Kind::Separator) {
                continue;
            }
            std::vector<std::string> notes;
            if (!SameRgb(item->colour, defaultText_)) {
                notes.push_back(ColourName(item->colour));
            }
            if (item->Greyed()) {
                notes.push_back(fmt::format("greyed, alpha {:.2f}", item->colour.a));
            }
            if (!notes.empty()) {
                line += fmt::format(" {{{}}}", fmt::join(notes, ", "));
            }
        }
        text += line + "\n";
    }
    return text;
}

}  // namespace sim::ui
