#pragma once
// A modal dialog built with GameWrapper::CreateModal and shown with ShowModal. Game thread only.
#include <functional>
#include <string>

#include "host/ObjectWrapper.h"

class ModalWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;

    void SetIcon(const std::string& texture);
    void SetBody(const std::string& text);
    void AddButton(const std::string& text, bool isCancel, std::function<void()> onClick = nullptr);
    void ShowModal();
};
