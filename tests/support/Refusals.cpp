// Preloaded into a tool to play a system that refuses a call the tool makes:
//   LUMORA_REFUSE_CLOSE_RANGE=1: close_range, as a kernel before Linux 5.9 or a seccomp profile does;
//   LUMORA_REFUSE_RENAME_TO=NAME: a rename over a file called NAME, as Windows refuses to replace a
//   DLL that a running server has loaded;
//   LUMORA_INTERRUPT_AT_PART=NAME: Ctrl-C, the moment the part file of NAME is made.
// Preloading is POSIX's: on Windows there is nothing to build.
#if !defined(_WIN32)

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>

#include <dlfcn.h>

namespace {

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int close_range(unsigned first, unsigned last, int flags) {
    if (std::getenv("LUMORA_REFUSE_CLOSE_RANGE") != nullptr) {
        errno = ENOSYS;
        return -1;
    }
    static const auto next = Next<int (*)(unsigned, unsigned, int)>("close_range");
    return next(first, last, flags);
}

extern "C" int rename(const char* from, const char* to) {
    const char* refused = std::getenv("LUMORA_REFUSE_RENAME_TO");
    const char* name = std::strrchr(to, '/');
    if (refused != nullptr && std::strcmp(name != nullptr ? name + 1 : to, refused) == 0) {
        errno = EACCES;
        return -1;
    }
    static const auto next = Next<int (*)(const char*, const char*)>("rename");
    return next(from, to);
}

extern "C" int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0) {
        va_list arguments;
        va_start(arguments, flags);
        mode = static_cast<mode_t>(va_arg(arguments, int));
        va_end(arguments);
    }
    static const auto next = Next<int (*)(const char*, int, ...)>("open");
    const int fd = next(path, flags, mode);
    const char* interrupted = std::getenv("LUMORA_INTERRUPT_AT_PART");
    const char* name = std::strrchr(path, '/');
    if (fd >= 0 && interrupted != nullptr && (flags & O_EXCL) != 0 &&
        std::string(name != nullptr ? name + 1 : path).starts_with(std::string(interrupted) + ".part-")) {
        std::raise(SIGINT);
    }
    return fd;
}

#endif
