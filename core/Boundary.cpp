#include "core/Boundary.h"

#include "core/Log.h"
#include "core/SafeText.h"
#include "core/Texts.h"

namespace quorvex {

void LogException(std::string_view where, const std::exception& error) noexcept
{
    try {
        // The text may quote input (a parser's last token): shown safe and cut.
        Log(texts::core::ExceptionLine, where, ConsoleText(error.what()));
    } catch (...) {
        // Out of memory while reporting: nothing more can be said, and nothing may escape.
    }
}

void LogUnknownException(std::string_view where) noexcept
{
    try {
        Log(texts::core::UnknownExceptionLine, where);
    } catch (...) {
    }
}

}  // namespace quorvex
