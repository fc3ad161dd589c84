#pragma once
// The plug-in's console log: every component writes its lines through one global handle to the
// host console, set first thing in onLoad.
//
// Thread safety: the handle is written once, in onLoad on the game thread, before the plug-in
// starts any thread or registers any callback; afterwards it is only read, from any thread.
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "host/CVarManagerWrapper.h"

namespace quorvex {

extern std::shared_ptr<CVarManagerWrapper> globalCvarManager;

// Logs the text as it is: a text from the service or the player is never a format pattern.
// Control characters other than the line break are written as visible escapes (core/SafeText.h);
// a text from outside that may hold line breaks or be long goes through ConsoleText first.
// Does nothing before onLoad has set the handle.
void LogText(const std::string& text);

template <typename... Args>
void Log(fmt::format_string<Args...> format, Args&&... args)
{
    LogText(fmt::format(format, std::forward<Args>(args)...));
}

}  // namespace quorvex
