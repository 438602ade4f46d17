#include "lumora-config/InstallFiles.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "lumora-config/Sha256.h"
#include "plugin/Version.h"

namespace fs = std::filesystem;

namespace Lumora {

namespace {

constexpr std::size_t ChunkBytes = 1 << 16;
std::atomic<int> stopSignal{0};

}  // namespace

bool StopAsked() { return stopSignal.load() != 0; }

#if defined(_WIN32)

namespace {

struct Handle {
    HANDLE handle;
    ~Handle() {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
};

std::string LastError() { return std::system_category().message(static_cast<int>(GetLastError())); }

BOOL WINAPI OnConsoleEvent(DWORD event) {
    stopSignal.store(static_cast<int>(event) + 1);
    // Ctrl-C and Ctrl-Break are answered here; a closed console gives the process a few seconds.
    return TRUE;
}

}  // namespace

std::optional<fs::path> LinkAt(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return std::nullopt;
    }
    // Where it leads, as the system resolves it: a junction's target too.
    const Handle opened{CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (opened.handle == INVALID_HANDLE_VALUE) {
        return fs::path();
    }
    std::wstring target(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(opened.handle, target.data(), static_cast<DWORD>(target.size()),
                                                       FILE_NAME_NORMALIZED);
        if (length == 0) {
            return fs::path();
        }
        if (length < target.size()) {
            target.resize(length);
            return fs::path(target);
        }
        target.resize(length + 1);
    }
}

InstallLock::Outcome InstallLock::Take(const fs::path& path, std::unique_ptr<InstallLock>& lock, std::string& failed) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        failed = LastError();
        return Outcome::Failed;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
            return Outcome::Busy;
        }
        failed = std::system_category().message(static_cast<int>(error));
        return Outcome::Failed;
    }
    lock.reset(new InstallLock(reinterpret_cast<std::intptr_t>(file)));
    return Outcome::Taken;
}

InstallLock::~InstallLock() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

namespace {

FileSum Copy(const fs::path& from, const fs::path* to) {
    FileSum sum;
    const Handle in{CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (in.handle == INVALID_HANDLE_VALUE || GetFileType(in.handle) != FILE_TYPE_DISK) {
        sum.failed = in.handle == INVALID_HANDLE_VALUE ? LastError() : "it is not a regular file";
        return sum;
    }
    Handle out{INVALID_HANDLE_VALUE};
    if (to != nullptr) {
        out.handle = CreateFileW(to->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (out.handle == INVALID_HANDLE_VALUE) {
            sum.failed = LastError();
            return sum;
        }
    }
    Sha256 hash;
    std::vector<char> buffer(ChunkBytes);
    for (;;) {
        if (to != nullptr && StopAsked()) {
            sum.failed = "the install was asked to stop";
            return sum;
        }
        DWORD read = 0;
        if (!ReadFile(in.handle, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
            sum.failed = LastError();
            return sum;
        }
        if (read == 0) {
            break;
        }
        hash.Add(buffer.data(), read);
        sum.size += read;
        DWORD written = 0;
        if (to != nullptr && (!WriteFile(out.handle, buffer.data(), read, &written, nullptr) || written != read)) {
            sum.failed = LastError();
            return sum;
        }
    }
    sum.sha256 = hash.HexDigest();
    return sum;
}

}  // namespace

std::string MoveWithoutReplacing(const fs::path& from, const fs::path& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ? "" : LastError();
}

void GiveInstalledMode(const fs::path&, const fs::path&, const fs::path&) {}

bool IsReadOnlyFile(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void WatchForStop() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

#else

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

std::string Error(int number) { return std::generic_category().message(number); }

extern "C" void OnStopSignal(int signal) { stopSignal.store(signal); }

FileSum Copy(const fs::path& from, const fs::path* to) {
    FileSum sum;
    const Descriptor in{open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW)};
    struct stat status {};
    if (in.fd < 0 || fstat(in.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        sum.failed = in.fd < 0 ? Error(errno) : "it is not a regular file";
        return sum;
    }
    Descriptor out{-1};
    if (to != nullptr) {
        // Readable by this process only until the install gives it its mode.
        out.fd = open(to->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0600);
        if (out.fd < 0) {
            sum.failed = Error(errno);
            return sum;
        }
    }
    Sha256 hash;
    std::vector<char> buffer(ChunkBytes);
    for (;;) {
        if (to != nullptr && StopAsked()) {
            sum.failed = "the install was asked to stop";
            return sum;
        }
        const ssize_t read = ::read(in.fd, buffer.data(), buffer.size());
        if (read < 0) {
            if (errno == EINTR) {
                continue;
            }
            sum.failed = Error(errno);
            return sum;
        }
        if (read == 0) {
            break;
        }
        hash.Add(buffer.data(), static_cast<std::size_t>(read));
        sum.size += static_cast<std::uint64_t>(read);
        for (ssize_t done = 0; to != nullptr && done < read;) {
            const ssize_t wrote = write(out.fd, buffer.data() + done, static_cast<std::size_t>(read - done));
            if (wrote < 0 && errno == EINTR) {
                continue;
            }
            if (wrote <= 0) {
                sum.failed = Error(wrote < 0 ? errno : EIO);
                return sum;
            }
            done += wrote;
        }
    }
    if (to != nullptr) {
        // A full disk may show only now (delayed allocation, network file systems).
        const int fd = out.fd;
        out.fd = -1;
        if (fsync(fd) != 0 || ::close(fd) != 0) {
            sum.failed = Error(errno);
            return sum;
        }
    }
    sum.sha256 = hash.HexDigest();
    return sum;
}

}  // namespace

std::optional<fs::path> LinkAt(const fs::path& path) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error))) {
        return std::nullopt;
    }
    const fs::path target = fs::read_symlink(path, error);
    return error ? fs::path() : target;
}

InstallLock::Outcome InstallLock::Take(const fs::path& path, std::unique_ptr<InstallLock>& lock, std::string& failed) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        failed = Error(errno);
        return Outcome::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return Outcome::Busy;
        }
        failed = Error(error);
        return Outcome::Failed;
    }
    lock.reset(new InstallLock(fd));
    return Outcome::Taken;
}

InstallLock::~InstallLock() { ::close(static_cast<int>(handle_)); }

std::string MoveWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return "";
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return Error(errno);
    }
    // A file system without RENAME_NOREPLACE: a second name, which is refused where one exists.
    if (link(from.c_str(), to.c_str()) != 0) {
        return Error(errno);
    }
    unlink(from.c_str());
    return "";
}

void GiveInstalledMode(const fs::path& part, const fs::path& packageFile, const fs::path& replaced) {
    if (struct stat old{}; lstat(replaced.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        GiveModeAndOwner(part, replaced, replaced);
        return;
    }
    struct stat shipped {};
    const mode_t mode = stat(packageFile.c_str(), &shipped) == 0 ? shipped.st_mode & 0755 : 0644;
    chmod(part.c_str(), mode);
}

bool IsReadOnlyFile(const fs::path&) { return false; }

void WatchForStop() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

#endif

fs::path InstallLockPath(const fs::path& server) { return server / "ArkApi" / LUMORA_NAME ".install-lock"; }

fs::path SystemPath(const fs::path& path) {
#if defined(_WIN32)
    // Room below the limit for the plugin folder and a part file's name.
    constexpr std::size_t Longest = 180;
    const std::wstring& text = path.native();
    if (text.starts_with(LR"(\\?\)") || text.size() < Longest) {
        return path;
    }
    std::error_code error;
    const std::wstring full = fs::absolute(path, error).lexically_normal().make_preferred().native();
    if (error) {
        return path;
    }
    return full.starts_with(LR"(\\)") ? LR"(\\?\UNC\)" + full.substr(2) : LR"(\\?\)" + full;
#else
    return path;
#endif
}

fs::path AdminPath(const fs::path& path) {
#if defined(_WIN32)
    const std::wstring& text = path.native();
    if (text.starts_with(LR"(\\?\UNC\)")) {
        return LR"(\\)" + text.substr(8);
    }
    if (text.starts_with(LR"(\\?\)")) {
        return text.substr(4);
    }
#endif
    return path;
}

void EndAsStopped() {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
#if defined(_WIN32)
    ExitProcess(130);
#else
    const int signal = stopSignal.load();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
#endif
}

void GiveModeAndOwner(const fs::path& part, const fs::path& modeFrom, const fs::path& ownerFrom) {
    std::error_code error;
    if (const fs::file_status status = fs::status(modeFrom, error); !error && fs::is_regular_file(status)) {
        fs::permissions(part, status.permissions(), error);
    }
#if !defined(_WIN32)
    struct stat owner {};
    if (stat(ownerFrom.c_str(), &owner) == 0 && S_ISREG(owner.st_mode) &&
        chown(part.c_str(), owner.st_uid, owner.st_gid) != 0) {
        // Not allowed to give the file away: it keeps this process's owner, as any new file would.
    }
#else
    (void)ownerFrom;
#endif
}

FileSum SumFile(const fs::path& path) { return Copy(path, nullptr); }

FileSum CopyIntoNewFile(const fs::path& from, const fs::path& to) { return Copy(from, &to); }

}  // namespace Lumora
