#pragma once
// What every Windows file of the project's system calls shares: a handle closed however its scope
// ends, and the system's words for an error. Included by ...Windows.cpp files only.

#include <cstddef>
#include <optional>
#include <string>
#include <system_error>

#include <windows.h>

namespace Lumora {

struct Handle {
    HANDLE handle;
    explicit Handle(HANDLE opened) : handle(opened) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
    // Hands the handle over: it is no longer closed here.
    HANDLE Release() {
        const HANDLE released = handle;
        handle = INVALID_HANDLE_VALUE;
        return released;
    }
};

inline std::string SystemError(DWORD error) { return std::system_category().message(static_cast<int>(error)); }
inline std::string LastError() { return SystemError(GetLastError()); }

// The bytes of the regular file open at file, no more than limit + 1 of them; nothing when it is
// not an open file on a disk.
std::optional<std::string> ReadOpenedRegularFile(HANDLE file, std::size_t limit);

}  // namespace Lumora
