// The hold on POSIX: mapped by hand, as dlopen would run the library's constructors.

#include <cerrno>
#include <string_view>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/PosixFile.h"
#include "devhost/Hold.h"

namespace Lumora {

std::shared_ptr<void> MapLibrary(const std::filesystem::path& path, std::string& reason) {
    // Opened without waiting: a named pipe never blocks the hold.
    const Descriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    struct stat status {};
    if (file.fd < 0 || fstat(file.fd, &status) != 0) {
        reason = SystemError(errno);
        return nullptr;
    }
    std::string head(4, '\0');
    const ssize_t read = S_ISREG(status.st_mode) ? pread(file.fd, head.data(), head.size(), 0) : 0;
    head.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
    constexpr std::string_view ElfMagic = "\177ELF";
    reason = !S_ISREG(status.st_mode)      ? "it is not a regular file"
             : status.st_size == 0         ? "it is empty"
             : !head.starts_with(ElfMagic) ? "it is not a library (no ELF header)"
                                           : "";
    if (!reason.empty()) {
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd, 0);
    if (mapped == MAP_FAILED) {
        reason = SystemError(errno);
        return nullptr;
    }
    return std::shared_ptr<void>(mapped, [size](void* at) { munmap(at, size); });
}

}  // namespace Lumora
