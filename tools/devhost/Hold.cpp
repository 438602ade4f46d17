#include "devhost/Hold.h"

#include <iostream>
#include <limits>
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

int HoldLibrary(const std::filesystem::path& path) {
    const std::string shown = EscapeText(PathText(path));
#if defined(_WIN32)
    // Mapped as an image, as LoadLibrary maps it, but with no DllMain, no static constructor and
    // no import resolved: a plugin built against another logging library is never started.
    const HMODULE library = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (library == nullptr) {
        std::cerr << "lumora-devhost: could not map " << shown << ": "
                  << EscapeText(std::system_category().message(static_cast<int>(GetLastError()))) << '\n';
        return 1;
    }
#else
    // dlopen would run the library's constructors: mapped by hand instead.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    void* mapped = fd < 0 || fstat(fd, &status) != 0 || status.st_size == 0
                       ? MAP_FAILED
                       : mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    const int reason = errno;
    if (fd >= 0) {
        close(fd);
    }
    if (mapped == MAP_FAILED) {
        std::cerr << "lumora-devhost: could not map " << shown << ": "
                  << EscapeText(std::generic_category().message(reason)) << '\n';
        return 1;
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
