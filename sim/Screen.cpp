#include "sim/Screen.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "sim/Journal.h"

namespace sim {

Screen::Screen(Journal& journal) : journal_(journal) {}

void Screen::ShowToast(ToastRecord toast)
{
    std::string line = fmt::format("toast: [type {}, {}s] {}: {}", toast.toastType, toast.seconds,
                                   toast.title, toast.text);
    auto fields = std::make_shared<const nlohmann::json>(nlohmann::json{
        {"title", toast.title},
        {"text", toast.text},
        {"texture", toast.texture},
        {"seconds", toast.seconds},
        {"toastType", toast.toastType},
        {"width", toast.width},
        {"height", toast.height},
    });
    {
        std::lock_guard<std::mutex> lock(mutex_);
        toasts_.push_back(std::move(toast));
    }
    journal_.Add(JournalEntry::Kind::Toast, std::move(line), std::move(fields));
}

void Screen::LoadTexture(const std::string& name, const std::filesystem::path& path)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        textures_.emplace_back(name, path);
    }
    journal_.Add(JournalEntry::Kind::Texture, fmt::format("texture: {} <- {}", name, path.string()),
                 std::make_shared<const nlohmann::json>(nlohmann::json{{"name", name}, {"path", path.string()}}));
}

ModalDraft& Screen::CreateModal(const std::string& title)
{
    ModalRecord record;
    record.title = title;
    drafts_.push_back({*this, std::move(record)});
    return drafts_.back();
}

void Screen::ShowModal(const ModalRecord& modal)
{
    std::vector<std::string> buttons;
    auto buttonFields = nlohmann::json::array();
    for (const auto& button : modal.buttons) {
        buttons.push_back(button.isCancel ? button.text + " (cancel)" : button.text);
        buttonFields.push_back({{"text", button.text}, {"cancel", button.isCancel}});
    }
    auto fields = std::make_shared<const nlohmann::json>(
        nlohmann::json{{"title", modal.title}, {"body", modal.body}, {"icon", modal.icon}, {"buttons", buttonFields}});
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shownModals_.push_back(modal);
    }
    journal_.Add(JournalEntry::Kind::Modal,
                 fmt::format("modal: {} | {} | [{}]", modal.title, modal.body,
                             fmt::join(buttons, ", ")),
                 std::move(fields));
}

std::vector<ToastRecord> Screen::Toasts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return toasts_;
}

std::vector<ModalRecord> Screen::Modals() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return shownModals_;
}

std::vector<std::pair<std::string, std::filesystem::path>> Screen::Textures() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return textures_;
}

}  // namespace sim
