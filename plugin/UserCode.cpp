#include "plugin/UserCode.h"

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "api/QvxApi.h"
#include "core/Events.h"
#include "core/Log.h"
#include "core/PluginEventDispatcher.h"
#include "host/CVarManagerWrapper.h"
#include "plugin/Texts.h"
#include "ws/WsMessage.h"

namespace quorvex {

void TakeUserCodeMessage(WsMessage& message, CVarManagerWrapper& cvarManager, PluginEventDispatcher& dispatcher)
{
    const std::string payload = message.Payload();
    const auto parsed = nlohmann::json::parse(payload);
    if (!parsed.is_object() || !parsed.contains("UserCode")) {
        return;
    }
    CVarWrapper cvar = cvarManager.getCvar(QvxApi::UserCodeCvar);
    if (!cvar) {
        throw std::runtime_error(std::string("the cvar ") + QvxApi::UserCodeCvar + " does not exist");
    }
    const auto& value = parsed.at("UserCode");
    if (value.is_string() && value.get_ref<const std::string&>() == cvar.getStringValue()) {
        message.Send(texts::plugin::UserCodeReply);
        return;
    }
    LogText(texts::plugin::UserCodeReceivedLine);
    const auto code = value.get<std::string>();
    if (const std::string problem = QvxApi::UserCodeProblem(code); !problem.empty()) {
        LogText("Refused the user code: " + problem);
        return;
    }
    cvar.setValue(code);
    dispatcher.Dispatch(EventType::Toast, ToastEvent(texts::plugin::UserCodeSetToast, 1, 7.0f));
    message.Send(texts::plugin::UserCodeReply);
}

}  // namespace quorvex
