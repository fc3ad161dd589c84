#include "core/Log.h"

namespace quorvex {

std::shared_ptr<CVarManagerWrapper> globalCvarManager;

void LogText(const std::string& text)
{
    if (globalCvarManager) {
        globalCvarManager->log(text);
    }
}

}  // namespace quorvex
