// Install's system calls on Windows: every folder on the way and every part file is held without
// delete sharing, so that no name install uses can be moved or replaced while it runs; what a
// name is comes from its own handle, a reparse point (a link, a junction) never followed below the
// folder the admin named.

#include <atomic>
#include <cstdio>
#include <iostream>
#include <vector>

#include <windows.h>
// windows.h first: winioctl.h uses its types.
#include <winioctl.h>

#include "config/WindowsFile.h"
#include "lumora-config/ChunkCopy.h"
#include "lumora-config/InstallFiles.h"
#include "text/ToolProcess.h"

namespace fs = std::filesystem;

namespace Lumora {

namespace {

constexpr DWORD NoFollow = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
std::atomic<int> stopSignal{0};

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

BOOL WINAPI OnConsoleEvent(DWORD event) {
    stopSignal.store(static_cast<int>(event) + 1);
    // Ctrl-C and Ctrl-Break are answered here; a closed console gives the process a few seconds.
    return TRUE;
}

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// What the handle opened, from the handle itself.
struct Seen {
    EntryKind kind = EntryKind::Other;
    FileId id;
    bool readOnly = false;
};

Seen Look(HANDLE handle, const fs::path& path) {
    Seen seen;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return seen;
    }
    seen.id = {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    const DWORD attributes = info.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || (TakenForLink != nullptr && TakenForLink(path))) {
        seen.kind = EntryKind::Link;
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        seen.kind = EntryKind::Folder;
    } else if (GetFileType(handle) == FILE_TYPE_DISK) {
        seen.kind = EntryKind::File;
        seen.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    return seen;
}

// A folder opened to be held: listed and added to, but neither moved nor removed by anyone while
// this handle is open.
HANDLE OpenFolder(const fs::path& path, DWORD flags) {
    return CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr);
}

FolderOpened Held(HANDLE handle, const fs::path& path) {
    FolderOpened opened;
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (!Missing(error)) {
            opened.kind = EntryKind::Other;
            opened.failed = SystemError(error);
        }
        return opened;
    }
    opened.kind = Look(handle, path).kind;
    if (opened.kind == EntryKind::Folder) {
        opened.folder = HeldFolder(reinterpret_cast<std::intptr_t>(handle), path);
    } else {
        CloseHandle(handle);
    }
    return opened;
}

// Copies in into out (when there is one, else only sums it) as CopyInChunks does.
FileSum Copy(HANDLE in, HANDLE out, std::uint64_t limit, bool& writeFailed) {
    const auto read = [in](char* buffer, std::size_t size) {
        DWORD got = 0;
        return ReadFile(in, buffer, static_cast<DWORD>(size), &got, nullptr) ? Chunk{got, {}} : Chunk{0, LastError()};
    };
    const auto write = [out](const char* bytes, std::size_t size) {
        DWORD written = 0;
        return WriteFile(out, bytes, static_cast<DWORD>(size), &written, nullptr) && written == size ? std::string()
                                                                                                     : LastError();
    };
    return out != INVALID_HANDLE_VALUE ? CopyInChunks(read, write, limit, writeFailed)
                                       : CopyInChunks(read, {}, limit, writeFailed);
}

// A package's file, opened for reading as itself: a link there is refused, not followed.
HANDLE OpenPackageFile(const fs::path& path, std::string& failed) {
    HANDLE in = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        failed = LastError();
    } else if (const Seen seen = Look(in, path); seen.kind != EntryKind::File) {
        failed = seen.kind == EntryKind::Link ? "it is a link now" : "it is not a regular file";
        CloseHandle(in);
        in = INVALID_HANDLE_VALUE;
    }
    return in;
}

// The whole path with the \\?\ prefix (\\?\UNC\ for a share), which the system takes as it stands.
std::wstring Verbatim(const fs::path& path, std::error_code& error) {
    if (path.native().starts_with(LR"(\\?\)")) {
        return path.native();
    }
    // A whole path (a drive's, or a share's: not every standard library takes \\server\share for
    // one) is taken as it stands; only a relative one is made whole.
    const std::wstring text = fs::path(path).make_preferred().native();
    if (text.starts_with(LR"(\\)")) {
        // Normalised after the two separators, which a normalisation would make one.
        return LR"(\\?\UNC\)" + fs::path(text.substr(2)).lexically_normal().native();
    }
    const bool drive = text.size() > 2 && text[1] == L':' && text[2] == L'\\';
    return LR"(\\?\)" + (drive ? path : fs::absolute(path, error)).lexically_normal().make_preferred().native();
}

}  // namespace

bool StopAsked() { return stopSignal.load() != 0; }

fs::path SystemPath(const fs::path& path) {
    // Room below the limit for the plugin folder and a part file's name.
    constexpr std::size_t Longest = 180;
    std::error_code error;
    const std::wstring full = path.native().size() < Longest ? path.native() : Verbatim(path, error);
    return error ? path : fs::path(full);
}

fs::path AdminPath(const fs::path& path) {
    const std::wstring& text = path.native();
    if (text.starts_with(LR"(\\?\UNC\)")) {
        return LR"(\\)" + text.substr(8);
    }
    if (text.starts_with(LR"(\\?\)")) {
        return text.substr(4);
    }
    return path;
}

std::optional<fs::path> OwnProgram() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < name.size()) {
            name.resize(length);
            return fs::path(name);
        }
        name.resize(name.size() * 2);
    }
}

std::optional<fs::path> LinkAt(const fs::path& path) {
    if (TakenForLink != nullptr && TakenForLink(path)) {
        return fs::path();
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return std::nullopt;
    }
    // Read as the link states it (as read_symlink reads it elsewhere): the reparse point's own data.
    const Handle opened{CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    NoFollow, nullptr)};
    std::vector<unsigned char> data(16 * 1024);  // the largest reparse data there is
    DWORD size = 0;
    if (opened.handle == INVALID_HANDLE_VALUE ||
        !DeviceIoControl(opened.handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                         static_cast<DWORD>(data.size()), &size, nullptr)) {
        return fs::path();
    }
    const std::optional<std::u16string> target = ReparseTarget(data.data(), size);
    return target ? fs::path(std::wstring(target->begin(), target->end())) : fs::path();
}

void HeldFolder::Close() {
    if (handle_ != Closed) {
        CloseHandle(AsHandle(handle_));
        handle_ = Closed;
    }
}

FileId HeldFolder::Id() const { return Look(AsHandle(handle_), path_).id; }

FolderOpened OpenNamedFolder(const fs::path& path) {
    // Followed where it is a link: the admin named it.
    return Held(OpenFolder(path, FILE_FLAG_BACKUP_SEMANTICS), path);
}

FolderOpened OpenFolderIn(const HeldFolder& parent, const fs::path& name) {
    const fs::path path = parent.Path() / name;
    return Held(OpenFolder(path, NoFollow), path);
}

FolderOpened MakeFolderIn(const HeldFolder& parent, const fs::path& name) {
    // A new folder takes the permissions its parent passes on, as any folder made there would.
    if (!CreateDirectoryW((parent.Path() / name).c_str(), nullptr)) {
        FolderOpened failed;
        failed.kind = EntryKind::Other;
        failed.failed = LastError();
        return failed;
    }
    return OpenFolderIn(parent, name);
}

void RemoveEmptyFolderIn(const HeldFolder& parent, const fs::path& name, HeldFolder& held) {
    held.Close();
    RemoveDirectoryW((parent.Path() / name).c_str());
}

Entry EntryIn(const HeldFolder& folder, const fs::path& name) {
    Entry entry;
    const fs::path path = folder.Path() / name;
    // Attributes only: no sharing is asked, so that this opens even a file held without it.
    const Handle opened{CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    NoFollow, nullptr)};
    if (opened.handle == INVALID_HANDLE_VALUE) {
        entry.kind = Missing(GetLastError()) ? EntryKind::Missing : EntryKind::Other;
        return entry;
    }
    const Seen seen = Look(opened.handle, path);
    entry.kind = seen.kind;
    entry.id = seen.id;
    entry.readOnly = seen.readOnly;
    return entry;
}

fs::path LinkTargetIn(const HeldFolder& folder, const fs::path& name) {
    return LinkAt(folder.Path() / name).value_or(fs::path());
}

std::vector<fs::path> NamesIn(const HeldFolder& folder) {
    std::vector<fs::path> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder.Path() / L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.emplace_back(name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool RemoveFileIn(const HeldFolder& folder, const fs::path& name) {
    const Entry entry = EntryIn(folder, name);
    // A link to a folder is itself a folder to the system: it goes as one, and what it leads to stays.
    return entry.kind == EntryKind::File   ? DeleteFileW((folder.Path() / name).c_str()) != 0
           : entry.kind == EntryKind::Link ? DeleteFileW((folder.Path() / name).c_str()) != 0 ||
                                                 RemoveDirectoryW((folder.Path() / name).c_str()) != 0
                                           : false;
}

std::optional<std::string> ReadFileIn(const HeldFolder& folder, const fs::path& name, std::size_t limit) {
    const fs::path path = folder.Path() / name;
    const Handle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE || Look(file.handle, path).kind != EntryKind::File) {
        return std::nullopt;
    }
    return ReadOpenedRegularFile(file.handle, limit);
}

InstallLock::Outcome InstallLock::Take(const HeldFolder& folder, const fs::path& name,
                                       std::unique_ptr<InstallLock>& lock, std::string& failed) {
    const fs::path path = folder.Path() / name;
    // Without delete sharing: while it is held, nobody removes or replaces it.
    Handle file{CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) {
        failed = LastError();
        return Outcome::Failed;
    }
    if (Look(file.handle, path).kind != EntryKind::File) {
        failed = "it is not a regular file";
        return Outcome::Failed;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(file.handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        const DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
            return Outcome::Busy;
        }
        failed = SystemError(error);
        return Outcome::Failed;
    }
    lock.reset(new InstallLock(reinterpret_cast<std::intptr_t>(file.Release())));
    return Outcome::Taken;
}

InstallLock::~InstallLock() { CloseHandle(AsHandle(handle_)); }

FileSum SumFile(const fs::path& path, std::uint64_t limit) {
    FileSum sum;
    const Handle in{OpenPackageFile(path, sum.failed)};
    if (in.handle == INVALID_HANDLE_VALUE) {
        return sum;
    }
    bool writeFailed = false;
    return Copy(in.handle, INVALID_HANDLE_VALUE, limit, writeFailed);
}

std::unique_ptr<PartFile> PartFile::Make(const HeldFolder& folder, const fs::path& name, std::string& failed) {
    for (int attempt = 0;; ++attempt) {
        fs::path part = PartName(name);
        // Shared with nobody: until it is moved into place or removed, it is this install's alone.
        const HANDLE file =
            CreateFileW((folder.Path() / part).c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return std::unique_ptr<PartFile>(
                new PartFile(folder, name, std::move(part), reinterpret_cast<std::intptr_t>(file)));
        }
        if (const DWORD error = GetLastError(); error != ERROR_FILE_EXISTS || attempt == 10) {
            failed = SystemError(error);
            return nullptr;
        }
    }
}

PartFile::Copied PartFile::CopyFrom(const fs::path& from, std::uint64_t size) {
    std::string failed;
    const Handle in{OpenPackageFile(from, failed)};
    if (in.handle == INVALID_HANDLE_VALUE) {
        return {{0, "", failed}, true};
    }
    bool writeFailed = false;
    FileSum sum = Copy(in.handle, AsHandle(handle_), size, writeFailed);
    return JudgedCopy(std::move(sum), writeFailed, size);
}

std::string PartFile::Finish(const fs::path&) {
    // The attributes it was made with: never read-only. Written through before it is moved.
    return FlushFileBuffers(AsHandle(handle_)) ? "" : LastError();
}

bool PartFile::AtItsName() const {
    const Entry entry = EntryIn(folder_, name_);
    return entry.kind == EntryKind::File && entry.id == Id();
}

std::string PartFile::MoveTo(const fs::path& name, bool replace) {
    // Renamed by its own handle. The new name is whole and verbatim (\\?\): the held folders on
    // the way cannot be moved while they are held, and no system reading of the name intervenes.
    std::error_code error;
    const std::wstring text = Verbatim(folder_.Path() / name, error);
    if (error) {
        return error.message();
    }
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + text.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    std::copy(text.begin(), text.end(), rename->FileName);
    if (!SetFileInformationByHandle(AsHandle(handle_), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
        return LastError();
    }
    moved_ = true;
    return "";
}

FileId PartFile::Id() const { return Look(AsHandle(handle_), folder_.Path() / name_).id; }

PartFile::~PartFile() {
    if (!moved_) {
        FILE_DISPOSITION_INFO remove{TRUE};
        SetFileInformationByHandle(AsHandle(handle_), FileDispositionInfo, &remove, sizeof remove);
    }
    CloseHandle(AsHandle(handle_));
}

void WatchForStop() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

void EndAsStopped() {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    RestoreConsole();
    ExitProcess(130);
}

void GiveModeAndOwner(const fs::path& part, const fs::path& modeFrom) {
    std::error_code error;
    if (const fs::file_status status = fs::symlink_status(modeFrom, error); !error && fs::is_regular_file(status)) {
        fs::permissions(part, status.permissions(), error);
    }
}

}  // namespace Lumora
