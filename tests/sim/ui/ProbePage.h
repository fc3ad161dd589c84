#pragma once
// A settings page that draws whatever the test gives it, with this executable's own copy of Dear
// ImGui, made to use the host's context the way a plug-in does.
//
// Threads: called on whichever thread the host under test draws the page on.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include <imgui.h>

#include "host/PluginBase.h"

namespace sim::ui::testing {

class ProbePage : public Plexar::Plugin::PluginSettingsWindow {
public:
    explicit ProbePage(std::function<void()> body) : body_(std::move(body)) {}

    void RenderSettings() override { body_(); }
    std::string GetDisplayName() override { return "Probe"; }
    void SetUiContext(std::uintptr_t context) override
    {
        ImGui::SetCurrentContext(reinterpret_cast<ImGuiContext*>(context));
    }

private:
    std::function<void()> body_;
};

}  // namespace sim::ui::testing
