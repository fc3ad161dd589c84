#include "core/ToastHandler.h"

#include <utility>

#include "core/CvarBinding.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/Texts.h"

namespace quorvex {

std::shared_ptr<ToastHandler> ToastHandler::Create(std::shared_ptr<PluginEventDispatcher> dispatcher,
                                                   std::shared_ptr<GameWrapper> gameWrapper,
                                                   std::shared_ptr<CVarManagerWrapper> cvarManager,
                                                   std::shared_ptr<PersistentStorage> storage)
{
    auto handler = std::make_shared<ToastHandler>(CreateKey{}, std::move(dispatcher), std::move(gameWrapper),
                                                  std::move(cvarManager), std::move(storage));
    CVarWrapper cvar = handler->storage->RegisterPersistentCvar(handler->cvarName, "1",
                                                                texts::core::ToastsCvarDescription, true, 0, 0);
    BindFlag(cvar, handler->enabled);
    handler->dispatcher->AddEventListener<ToastEvent>(
        EventType::Toast, [weak = std::weak_ptr<ToastHandler>(handler)](const ToastEvent& event) {
            // Not a boundary: a failing toast goes to the poster, which logs it.
            if (auto self = weak.lock()) {
                self->OnToast(event);
            }
        });
    return handler;
}

ToastHandler::ToastHandler(CreateKey, std::shared_ptr<PluginEventDispatcher> dispatcherHandle,
                           std::shared_ptr<GameWrapper> gameWrapperHandle,
                           std::shared_ptr<CVarManagerWrapper> cvarManagerHandle,
                           std::shared_ptr<PersistentStorage> storageHandle)
    : dispatcher(std::move(dispatcherHandle)),
      gameWrapper(std::move(gameWrapperHandle)),
      cvarManager(std::move(cvarManagerHandle)),
      storage(std::move(storageHandle)),
      enabled(std::make_shared<std::atomic<bool>>(true))
{
}

void ToastHandler::OnToast(const ToastEvent& event)
{
    if (!*enabled) {
        return;
    }
    gameWrapper->Toast(Title, event.text, Texture, event.duration,
                       static_cast<std::uint8_t>(event.toastType & 0xFF), Width, Height);
}

}  // namespace quorvex
