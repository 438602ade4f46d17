// The hold on Windows: mapped as an image, as LoadLibrary maps it, but with no DllMain, no static
// constructor and no import resolved, so that a plugin built against another logging library is
// never started.

#include <windows.h>

#include "config/WindowsFile.h"
#include "devhost/Hold.h"

namespace Lumora {

std::shared_ptr<void> MapLibrary(const std::filesystem::path& path, std::string& reason) {
    const auto failed = [&] {
        reason = LastError();
        return nullptr;
    };
    std::string head(2, '\0');
    DWORD read = 0;
    bool regular = false;
    {
        const Handle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (file.handle == INVALID_HANDLE_VALUE) {
            return failed();
        }
        regular = GetFileType(file.handle) == FILE_TYPE_DISK;
        if (!regular || !ReadFile(file.handle, head.data(), static_cast<DWORD>(head.size()), &read, nullptr)) {
            read = 0;
        }
    }
    head.resize(read);
    reason = !regular ? "it is not a regular file" : head != "MZ" ? "it is not a library (no PE header)" : "";
    if (!reason.empty()) {
        return nullptr;
    }
    const HMODULE library = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (library == nullptr) {
        return failed();
    }
    return std::shared_ptr<void>(library, [](void* at) { FreeLibrary(static_cast<HMODULE>(at)); });
}

}  // namespace Lumora
