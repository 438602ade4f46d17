#include "devhost/Hold.h"

#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "text/ToolText.h"

namespace Lumora {

namespace {

// Why the file at path is no library to hold, from its first bytes (ELF here, PE on Windows).
std::optional<std::string> NotALibrary(const std::string& head) {
#if defined(_WIN32)
    return head.starts_with("MZ") ? std::nullopt : std::optional<std::string>("it is not a library (no PE header)");
#else
    return head.starts_with(
               "\x7f"
               "ELF")
               ? std::nullopt
               : std::optional<std::string>("it is not a library (no ELF header)");
#endif
}

int Refused(const std::string& shown, const std::string& reason) {
    std::cerr << "lumora-devhost: could not map " << shown << ": " << EscapeText(reason) << '\n';
    return 1;
}

}  // namespace

int HoldLibrary(const std::filesystem::path& path) {
    const std::string shown = EscapeText(PathText(path));
    // What it is, from the file opened without waiting: a named pipe never blocks the hold.
    std::string head(4, '\0');
#if defined(_WIN32)
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Refused(shown, std::system_category().message(static_cast<int>(GetLastError())));
    }
    DWORD read = 0;
    const bool regular = GetFileType(file) == FILE_TYPE_DISK;
    if (!regular || !ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &read, nullptr)) {
        read = 0;
    }
    CloseHandle(file);
    head.resize(read);
    if (!regular) {
        return Refused(shown, "it is not a regular file");
    }
    if (const auto reason = NotALibrary(head)) {
        return Refused(shown, *reason);
    }
    // Mapped as an image, as LoadLibrary maps it, but with no DllMain, no static constructor and
    // no import resolved: a plugin built against another logging library is never started.
    const HMODULE library = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (library == nullptr) {
        return Refused(shown, std::system_category().message(static_cast<int>(GetLastError())));
    }
#else
    // dlopen would run the library's constructors: mapped by hand instead.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0) {
        const int reason = errno;
        if (fd >= 0) {
            close(fd);
        }
        return Refused(shown, std::generic_category().message(reason));
    }
    const ssize_t read = S_ISREG(status.st_mode) ? pread(fd, head.data(), head.size(), 0) : 0;
    head.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
    std::optional<std::string> reason = !S_ISREG(status.st_mode) ? "it is not a regular file"
                                        : status.st_size == 0    ? "it is empty"
                                                                 : NotALibrary(head);
    void* mapped =
        reason ? MAP_FAILED : mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (!reason && mapped == MAP_FAILED) {
        reason = std::generic_category().message(errno);
    }
    close(fd);
    if (reason) {
        return Refused(shown, *reason);
    }
#endif
    std::cout << "holding " << shown << " (mapped, nothing in it called) until the input ends" << std::endl;
    std::cin.ignore(std::numeric_limits<std::streamsize>::max());
#if defined(_WIN32)
    FreeLibrary(library);
#else
    munmap(mapped, static_cast<std::size_t>(status.st_size));
#endif
    std::cout << "released " << shown << '\n';
    return 0;
}

}  // namespace Lumora
