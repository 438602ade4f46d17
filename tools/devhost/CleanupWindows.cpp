// The server folder's removal on Windows: a console handler.

#include <system_error>

#include <windows.h>

#include "devhost/Cleanup.h"

namespace fs = std::filesystem;

namespace Devhost {

namespace {

fs::path FolderToRemove;
BOOL WINAPI RemoveOnCtrlC(DWORD) {
    std::error_code ignored;
    fs::remove_all(FolderToRemove, ignored);
    return FALSE;  // and the default handling ends the process
}

}  // namespace

void RemoveWhenThisProcessEnds(const fs::path& folder) {
    FolderToRemove = folder;
    SetConsoleCtrlHandler(RemoveOnCtrlC, TRUE);
}

}  // namespace Devhost
