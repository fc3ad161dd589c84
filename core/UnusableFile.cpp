#include "core/UnusableFile.h"

#include <system_error>

#include "core/PathText.h"

namespace quorvex {

std::string RegularFileProblem(const std::filesystem::path& file, std::uintmax_t maxBytes)
{
    std::error_code error;
    const auto type = std::filesystem::status(file, error).type();
    if (type == std::filesystem::file_type::not_found) {
        return "it does not exist";
    }
    if (error) {
        return "it cannot be looked at: " + error.message();
    }
    if (type != std::filesystem::file_type::regular) {
        return "it is not a regular file";
    }
    const auto size = std::filesystem::file_size(file, error);
    if (error) {
        return "its size cannot be read: " + error.message();
    }
    if (size > maxBytes) {
        return "it is larger than " + std::to_string(maxBytes) + " bytes";
    }
    return {};
}

std::string MoveAside(const std::filesystem::path& file)
{
    std::filesystem::path aside = file;
    aside += ".unreadable";
    std::error_code error;
    std::filesystem::remove_all(aside, error);
    std::filesystem::rename(file, aside, error);
    return error ? "it is left as it is: " + error.message() : "it was moved to " + PathText(aside);
}

}  // namespace quorvex
