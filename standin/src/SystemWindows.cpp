// The stand-in's system calls on Windows: the dynamic loader, the module of an address, memory.

#include <string>

#include <windows.h>
// clang-format off
#include <psapi.h>
// clang-format on

#include "Internal.h"

namespace StandIn {

const char* const LibrarySuffix = ".dll";

// Its handle, which is also its base.
const void* ModuleOf(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address), &module);
    return module;
}

std::filesystem::path ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path();
}

std::string AsHostNames(const std::filesystem::path& path) {
    const std::wstring wide = path.wstring();
    char ansi[MAX_PATH] = {};
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), ansi, MAX_PATH - 1,
                                           nullptr, nullptr);
    return std::string(ansi, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// The dynamic loader, as the host uses it.
void* OpenLibrary(const std::filesystem::path& path, std::string& error) {
    HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) {
        error = "could not load " + path.string() + " (error " + std::to_string(GetLastError()) + ")";
    }
    return reinterpret_cast<void*>(module);
}
void* FindSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
bool CloseLibrary(void* library) { return FreeLibrary(static_cast<HMODULE>(library)) != 0; }
bool LibraryMapped(const std::filesystem::path& path) { return GetModuleHandleW(path.c_str()) != nullptr; }

std::uint64_t ResidentKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize / 1024;
}

}  // namespace StandIn
