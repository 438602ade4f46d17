// config.json's files on POSIX: opened without blocking, and checked as what was opened.

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/PosixFile.h"
#include "config/RegularFile.h"

namespace Lumora {

std::optional<std::string> ReadOpenedRegularFile(int fd, std::size_t limit) {
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[1 << 16];
    // The file may grow while it is read: no more than one byte past the limit is ever kept.
    for (ssize_t read; bytes.size() <= limit && (read = ::read(fd, buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, static_cast<std::size_t>(read));
    }
    if (bytes.size() > limit + 1) {
        bytes.resize(limit + 1);
    }
    return bytes;
}

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t limit) {
    const Descriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    return ReadOpenedRegularFile(file.fd, limit);
}

std::string WriteNewRegularFile(const std::filesystem::path& path, const std::string& text) {
    Descriptor file{
        open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0644)};
    if (file.fd < 0) {
        return SystemError(errno);
    }
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t wrote = write(file.fd, text.data() + done, text.size() - done);
        if (wrote <= 0) {
            return SystemError(wrote < 0 ? errno : EIO);
        }
        done += static_cast<std::size_t>(wrote);
    }
    return ::close(file.Release()) == 0 ? "" : SystemError(errno);
}

}  // namespace Lumora
