// Preloaded into a tool to play a system that refuses a call the tool makes, or another account
// that changes the tool's folders at a chosen moment:
//   LUMORA_REFUSE_CLOSE_RANGE=1: close_range, as a kernel before Linux 5.9 or a seccomp profile does;
//   LUMORA_REFUSE_RENAME_TO=NAME: a rename over a file called NAME, as Windows refuses to replace a
//   DLL that a running server has loaded;
//   LUMORA_INTERRUPT_AT_PART=NAME: Ctrl-C, the moment the part file of NAME is made;
//   LUMORA_RUN=COMMAND with LUMORA_AT_PART=NAME or LUMORA_AT_RENAME=NAME: COMMAND, once, through
//   sh, the moment the part file of NAME is made or just before it is renamed to NAME, with the
//   part file's whole path in LUMORA_PART.
// Preloading is POSIX's: on Windows there is nothing to build.

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
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

std::string BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

bool IsPartOf(const char* path, const char* name) {
    return name != nullptr && BaseName(path).starts_with(std::string(name) + ".part-");
}

// The whole path of name in the folder dirfd.
std::string InFolder(int dirfd, const char* name) {
    if (name[0] == '/' || dirfd == AT_FDCWD) {
        return name;
    }
    char folder[4096];
    const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(dirfd)).c_str(), folder, sizeof folder - 1);
    return std::string(folder, length > 0 ? static_cast<std::size_t>(length) : 0) + "/" + name;
}

// The other account's move, once: what it runs is not preloaded.
void RunOnce(const std::string& part) {
    static bool ran = false;
    const char* command = std::getenv("LUMORA_RUN");
    if (ran || command == nullptr) {
        return;
    }
    ran = true;
    unsetenv("LD_PRELOAD");
    setenv("LUMORA_PART", part.c_str(), 1);
    if (std::system(command) != 0) {
        std::fprintf(stderr, "Refusals: LUMORA_RUN failed: %s\n", command);
    }
}

int AfterOpen(int fd, int dirfd, const char* path, int flags) {
    if (fd < 0 || (flags & O_EXCL) == 0) {
        return fd;
    }
    if (IsPartOf(path, std::getenv("LUMORA_INTERRUPT_AT_PART"))) {
        std::raise(SIGINT);
    }
    if (IsPartOf(path, std::getenv("LUMORA_AT_PART"))) {
        RunOnce(InFolder(dirfd, path));
    }
    return fd;
}

// True when the rename to to is refused; runs the other account's move before a part's rename.
bool BeforeRename(int fromdir, const char* from, const char* to) {
    const char* refused = std::getenv("LUMORA_REFUSE_RENAME_TO");
    if (refused != nullptr && BaseName(to) == refused) {
        errno = EACCES;
        return true;
    }
    const char* at = std::getenv("LUMORA_AT_RENAME");
    if (at != nullptr && BaseName(to) == at && IsPartOf(from, at)) {
        RunOnce(InFolder(fromdir, from));
    }
    return false;
}

mode_t ModeArgument(int flags, va_list arguments) {
    return (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
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
    static const auto next = Next<int (*)(const char*, const char*)>("rename");
    return BeforeRename(AT_FDCWD, from, to) ? -1 : next(from, to);
}

extern "C" int renameat(int fromdir, const char* from, int todir, const char* to) {
    static const auto next = Next<int (*)(int, const char*, int, const char*)>("renameat");
    return BeforeRename(fromdir, from, to) ? -1 : next(fromdir, from, todir, to);
}

extern "C" int renameat2(int fromdir, const char* from, int todir, const char* to, unsigned flags) {
    static const auto next = Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    return BeforeRename(fromdir, from, to) ? -1 : next(fromdir, from, todir, to, flags);
}

extern "C" int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    static const auto next = Next<int (*)(const char*, int, ...)>("open");
    return AfterOpen(next(path, flags, mode), AT_FDCWD, path, flags);
}

extern "C" int openat(int dirfd, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
    return AfterOpen(next(dirfd, path, flags, mode), dirfd, path, flags);
}
