// Preloaded into a tool to play a system that refuses a call the tool makes:
//   LUMORA_REFUSE_CLOSE_RANGE=1: close_range, as a kernel before Linux 5.9 or a seccomp profile does;
//   LUMORA_REFUSE_RENAME_TO=NAME: a rename over a file called NAME, as Windows refuses to replace a
//   DLL that a running server has loaded.
// Preloading is POSIX's: on Windows there is nothing to build.
#if !defined(_WIN32)

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

#endif
