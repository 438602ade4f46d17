// config.json's files on Windows: opened as handles, never a device or a pipe.

#include <windows.h>

#include "config/RegularFile.h"
#include "config/WindowsFile.h"

namespace Lumora {

std::optional<std::string> ReadOpenedRegularFile(HANDLE file, std::size_t limit) {
    if (file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[1 << 16];
    for (DWORD read = 0; bytes.size() <= limit && ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0;) {
        bytes.append(buffer, read);
    }
    if (bytes.size() > limit + 1) {
        bytes.resize(limit + 1);
    }
    return bytes;
}

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t limit) {
    const Handle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    return ReadOpenedRegularFile(file.handle, limit);
}

std::string WriteNewRegularFile(const std::filesystem::path& path, const std::string& text) {
    const Handle file{CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    DWORD written = 0;
    if (!WriteFile(file.handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        return LastError();
    }
    return "";
}

}  // namespace Lumora
