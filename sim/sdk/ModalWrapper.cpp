// ModalWrapper: the address is a sim::ModalDraft. Game thread only.
#include "host/ModalWrapper.h"

#include <utility>

#include "sim/Screen.h"
#include "sim/sdk/ObjectAt.h"

namespace {

sim::ModalDraft& DraftOf(const ModalWrapper& modal)
{
    return sim::ObjectAt<sim::ModalDraft>(modal.memory_address, "ModalWrapper");
}

}  // namespace

void ModalWrapper::SetIcon(const std::string& texture)
{
    DraftOf(*this).record.icon = texture;
}

void ModalWrapper::SetBody(const std::string& text)
{
    DraftOf(*this).record.body = text;
}

void ModalWrapper::AddButton(const std::string& text, bool isCancel, std::function<void()> onClick)
{
    DraftOf(*this).record.buttons.push_back({text, isCancel, std::move(onClick)});
}

void ModalWrapper::ShowModal()
{
    sim::ModalDraft& draft = DraftOf(*this);
    draft.screen.ShowModal(draft.record);
}
