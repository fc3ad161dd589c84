#include "sim/Screen.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "sim/Journal.h"
#include "sim/ToastTexture.h"

namespace sim {

Screen::Screen(Journal& journal, std::filesystem::path hostDir, ConsoleLine log,
               std::function<Clock::time_point()> now)
    : journal_(journal), hostDir_(std::move(hostDir)), log_(std::move(log)), now_(std::move(now))
{
}

void Screen::ShowToast(ToastRecord toast)
{
    toast.shownAt = now_();
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
    std::shared_ptr<const ToastTexture> picture;
    std::string failure;
    try {
        picture = std::make_shared<const ToastTexture>(ReadToastTexture(path.is_relative() ? hostDir_ / path : path));
    } catch (const std::exception& error) {
        failure = error.what();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        textures_.emplace_back(name, path);
        pictures_[name] = picture;
    }
    auto fields = nlohmann::json{{"name", name}, {"path", path.string()}, {"loaded", picture != nullptr}};
    std::string line = fmt::format("texture: {} <- {}", name, path.string());
    if (picture) {
        fields["width"] = picture->width;
        fields["height"] = picture->height;
        line += fmt::format(" ({}x{})", picture->width, picture->height);
    }
    journal_.Add(JournalEntry::Kind::Texture, std::move(line), std::make_shared<const nlohmann::json>(std::move(fields)));
    if (!picture) {
        log_(fmt::format("plexar-sim: cannot load the toast texture {} from {}: {}", name, path.string(), failure));
    }
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

std::shared_ptr<const ToastTexture> Screen::Texture(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = pictures_.find(name);
    return found == pictures_.end() ? nullptr : found->second;
}

void Screen::Fill(ScreenSnapshot& snapshot) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const ToastRecord& toast : toasts_) {
        const double left = toast.seconds - Seconds(snapshot.now - toast.shownAt).count();
        if (left > 0) {
            const auto picture = pictures_.find(toast.texture);
            snapshot.toasts.push_back({toast, left, picture == pictures_.end() ? nullptr : picture->second});
        }
    }
    if (modalsClaimed_ < shownModals_.size()) {
        snapshot.modal = ScreenSnapshot::OpenModal{modalsClaimed_, shownModals_[modalsClaimed_]};
    }
}

bool Screen::ClaimModal(std::size_t index)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (index != modalsClaimed_ || index >= shownModals_.size()) {
        return false;
    }
    ++modalsClaimed_;
    return true;
}

}  // namespace sim
