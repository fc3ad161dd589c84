#include "core/Log.h"

#include "core/SafeText.h"

namespace quorvex {

std::shared_ptr<CVarManagerWrapper> globalCvarManager;

void LogText(const std::string& text)
{
    if (globalCvarManager) {
        // A control character that slipped into a line (an origin, a guid, a product's label)
        // is shown, not obeyed: it can neither start a line of its own nor move the cursor.
        globalCvarManager->log(EscapeControls(text, true));
    }
}

}  // namespace quorvex
