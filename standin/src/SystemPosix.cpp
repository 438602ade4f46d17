// The stand-in's system calls on POSIX: the dynamic loader, the module of an address, memory.

#include <fstream>
#include <string>

#include <dlfcn.h>

#include "Internal.h"

namespace StandIn {

const char* const LibrarySuffix = ".so";

const void* ModuleOf(const void* address) {
    Dl_info info{};
    return dladdr(address, &info) != 0 ? info.dli_fbase : nullptr;
}

std::filesystem::path ProgramFolder() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
}

std::string AsHostNames(const std::filesystem::path& path) { return path.string(); }

// The dynamic loader, as the host uses it.
void* OpenLibrary(const std::filesystem::path& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "could not load " + path.string();
    }
    return handle;
}
void* FindSymbol(void* library, const char* name) { return dlsym(library, name); }
bool CloseLibrary(void* library) { return dlclose(library) == 0; }
bool LibraryMapped(const std::filesystem::path& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

std::uint64_t ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stoull(line.substr(6));
        }
    }
    return 0;
}

}  // namespace StandIn
