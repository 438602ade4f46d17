#include "config/RegularFile.h"

#include <filesystem>
#include <memory>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Lumora {

#if defined(_WIN32)

namespace {

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

std::string LastError() { return std::system_category().message(static_cast<int>(GetLastError())); }

}  // namespace

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t limit) {
    const Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                      &CloseHandle);
    if (file.get() == INVALID_HANDLE_VALUE || GetFileType(file.get()) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[1 << 16];
    for (DWORD read = 0;
         bytes.size() <= limit && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0;) {
        bytes.append(buffer, read);
    }
    if (bytes.size() > limit + 1) {
        bytes.resize(limit + 1);
    }
    return bytes;
}

std::string WriteNewRegularFile(const std::filesystem::path& path, const std::string& text) {
    const Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr),
                      &CloseHandle);
    if (file.get() == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        return LastError();
    }
    return "";
}

#else

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

std::string Error(int number) { return std::generic_category().message(number); }

}  // namespace

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t limit) {
    const Descriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    struct stat status {};
    if (file.fd < 0 || fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[1 << 16];
    // The file may grow while it is read: no more than one byte past the limit is ever kept.
    for (ssize_t read; bytes.size() <= limit && (read = ::read(file.fd, buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, static_cast<std::size_t>(read));
    }
    if (bytes.size() > limit + 1) {
        bytes.resize(limit + 1);
    }
    return bytes;
}

std::string WriteNewRegularFile(const std::filesystem::path& path, const std::string& text) {
    Descriptor file{
        open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0644)};
    if (file.fd < 0) {
        return Error(errno);
    }
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t wrote = write(file.fd, text.data() + done, text.size() - done);
        if (wrote <= 0) {
            return Error(wrote < 0 ? errno : EIO);
        }
        done += static_cast<std::size_t>(wrote);
    }
    const int fd = file.fd;
    file.fd = -1;
    return ::close(fd) == 0 ? "" : Error(errno);
}

#endif

}  // namespace Lumora
