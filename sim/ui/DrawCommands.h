#pragma once
// Walks a frame's draw data in drawing order: every command that draws (callbacks are skipped),
// with its index and vertex data. The frame reader and the rasteriser both read frames this way.
#include <imgui.h>

namespace sim::ui {

// visit(const ImDrawCmd& command, const ImDrawIdx* indices, const ImDrawVert* vertices)
template <class Visit>
void ForEachDrawCommand(const ImDrawData& drawData, Visit visit)
{
    for (int listIndex = 0; listIndex < drawData.CmdListsCount; ++listIndex) {
        const ImDrawList& list = *drawData.CmdLists[listIndex];
        for (const ImDrawCmd& command : list.CmdBuffer) {
            if (command.UserCallback == nullptr) {
                visit(command, list.IdxBuffer.Data + command.IdxOffset, list.VtxBuffer.Data + command.VtxOffset);
            }
        }
    }
}

}  // namespace sim::ui
