#pragma once
// What the player sees: toasts, modal dialogs and the toast textures loaded for them. Each is
// recorded for Host's queries and written to the journal as it happens.
//
// Threads: ShowToast, LoadTexture and the queries may be called from any thread; the records
// are guarded by mutex_. Modal drafts (built through ModalWrapper before ShowModal) are touched
// on the game thread only and need no lock; ShowModal copies the draft into the guarded record.
#include <deque>
#include <filesystem>
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
    explicit Screen(Journal& journal);

    void ShowToast(ToastRecord toast);
    void LoadTexture(const std::string& name, const std::filesystem::path& path);

    // A new draft at a stable address. Game thread.
    ModalDraft& CreateModal(const std::string& title);
    // Makes the modal, as built so far, visible. Game thread.
    void ShowModal(const ModalRecord& modal);

    std::vector<ToastRecord> Toasts() const;
    std::vector<ModalRecord> Modals() const;
    std::vector<std::pair<std::string, std::filesystem::path>> Textures() const;

private:
    Journal& journal_;
    std::deque<ModalDraft> drafts_;  // game thread only; never shrinks

    mutable std::mutex mutex_;
    std::vector<ToastRecord> toasts_;
    std::vector<ModalRecord> shownModals_;
    std::vector<std::pair<std::string, std::filesystem::path>> textures_;
};

}  // namespace sim
