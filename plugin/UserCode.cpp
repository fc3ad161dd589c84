#include "plugin/UserCode.h"

#include <fmt/format.h>

namespace quorvex {

std::string UserCodeProblem(const std::string& code)
{
    if (code.size() > MaxUserCodeBytes) {
        return fmt::format("it is {} bytes long, more than {}", code.size(), MaxUserCodeBytes);
    }
    for (const char c : code) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            return fmt::format("it holds the byte 0x{:02X}, which is not printable ASCII", byte);
        }
        if (c == '"' || c == '\\') {
            return fmt::format("it holds the character {}", c);
        }
    }
    return {};
}

}  // namespace quorvex
