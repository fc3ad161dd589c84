#pragma once
// What the player sees: toasts, modal dialogs and the toast textures loaded for them. Each is
// recorded for Host's queries and written to the journal as it happens. A texture's file is read
// when it is loaded; one that cannot be read is reported on the console and shows no picture.
//
// Threads: ShowToast, LoadTexture, ClaimModal and the queries may be called from any thread; the
// records are guarded by mutex_ (a texture file is read outside it). Modal drafts (built through
// ModalWrapper before ShowModal) are touched on the game thread only and need no lock; ShowModal
// copies the draft into the guarded record.
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "sim/Host.h"

namespace sim {

class Journal;
class Screen;

// A modal being built through ModalWrapper (which points here), before ShowModal.
struct ModalDraft {
    Screen& screen;
    ModalRecord record;
};

class Screen {
public:
    using ConsoleLine = std::function<void(const std::string& line)>;

    // Relative texture paths are read from `hostDir`; reports go to `log`; toasts are stamped
    // with `now`.
    Screen(Journal& journal, std::filesystem::path hostDir, ConsoleLine log, std::function<Clock::time_point()> now);

    void ShowToast(ToastRecord toast);
    void LoadTexture(const std::string& name, const std::filesystem::path& path);

    // A new draft at a stable address. Game thread.
    ModalDraft& CreateModal(const std::string& title);
    // Makes the modal, as built so far, visible. Game thread.
    void ShowModal(const ModalRecord& modal);

    std::vector<ToastRecord> Toasts() const;
    std::vector<ModalRecord> Modals() const;
    std::vector<std::pair<std::string, std::filesystem::path>> Textures() const;
    std::shared_ptr<const ToastTexture> Texture(const std::string& name) const;
    // Toasts still up at `now`, and the oldest modal not yet claimed.
    void Fill(ScreenSnapshot& snapshot) const;
    bool ClaimModal(std::size_t index);

private:
    Journal& journal_;
    const std::filesystem::path hostDir_;
    const ConsoleLine log_;
    const std::function<Clock::time_point()> now_;
    std::deque<ModalDraft> drafts_;  // game thread only; never shrinks

    mutable std::mutex mutex_;
    std::vector<ToastRecord> toasts_;
    std::vector<ModalRecord> shownModals_;
    std::vector<std::pair<std::string, std::filesystem::path>> textures_;
    std::map<std::string, std::shared_ptr<const ToastTexture>> pictures_;  // by texture name
    std::size_t modalsClaimed_ = 0;  // shownModals_ before this one are answered
};

}  // namespace sim
