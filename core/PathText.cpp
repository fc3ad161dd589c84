#include "core/PathText.h"

#include <system_error>

#ifdef _WIN32
#include "core/WindowsApi.h"
#endif

namespace quorvex {

std::string PathText(const std::filesystem::path& path)
{
#ifdef _WIN32
    // Without WC_ERR_INVALID_CHARS, what has no UTF-8 form becomes U+FFFD.
    const std::wstring& wide = path.native();
    if (wide.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                            nullptr);
    }
    return text;
#else
    return path.native();  // the bytes the system holds; UTF-8 by convention
#endif
}

std::optional<std::string> PathUtf8(const std::filesystem::path& path)
{
    try {
        return path.u8string();
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

}  // namespace quorvex
