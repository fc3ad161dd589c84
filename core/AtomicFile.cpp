#include "core/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace quorvex {
namespace {

std::string SystemErrorText(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// Writes all of content to fd; false with errno set on failure.
bool WriteAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

std::string WriteFileAtomically(const std::filesystem::path& path, std::string_view content)
{
    std::error_code error;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) {
            return "cannot create " + path.parent_path().string() + ": " + error.message();
        }
    }

    const std::filesystem::path temporary = path.string() + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return SystemErrorText("cannot open " + temporary.string());
    }
    const bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
    const std::string failure = written ? std::string() : SystemErrorText("cannot write " + temporary.string());
    if (::close(fd) != 0 && written) {
        ::unlink(temporary.c_str());
        return SystemErrorText("cannot close " + temporary.string());
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return failure;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string renameFailure = SystemErrorText("cannot replace " + path.string());
        ::unlink(temporary.c_str());
        return renameFailure;
    }
    return {};
}

}  // namespace quorvex
