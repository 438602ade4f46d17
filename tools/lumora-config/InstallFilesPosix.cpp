// Install's system calls on POSIX: every name is taken relative to a held folder's descriptor and
// none of them follows a link.

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/PosixFile.h"
#include "lumora-config/ChunkCopy.h"
#include "lumora-config/InstallFiles.h"

namespace fs = std::filesystem;

namespace Lumora {

namespace {

constexpr int Opening = O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK;
std::atomic<int> stopSignal{0};

extern "C" void OnStopSignal(int signal) { stopSignal.store(signal); }

int Fd(const HeldFolder& folder) { return static_cast<int>(folder.Native()); }

FileId IdOf(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

EntryKind KindOf(mode_t mode) {
    return S_ISREG(mode)   ? EntryKind::File
           : S_ISDIR(mode) ? EntryKind::Folder
           : S_ISLNK(mode) ? EntryKind::Link
                           : EntryKind::Other;
}

FolderOpened Opened(int fd, int error, fs::path path, const HeldFolder* parent, const fs::path& name) {
    FolderOpened opened;
    if (fd >= 0) {
        opened.kind = EntryKind::Folder;
        opened.folder = HeldFolder(fd, std::move(path));
        return opened;
    }
    if (error == ENOENT) {
        return opened;
    }
    // Not opened as a folder: say what it is instead.
    struct stat status {};
    if ((error == ELOOP || error == ENOTDIR) &&
        (parent != nullptr ? fstatat(Fd(*parent), name.c_str(), &status, AT_SYMLINK_NOFOLLOW)
                           : stat(path.c_str(), &status)) == 0) {
        opened.kind = KindOf(status.st_mode) == EntryKind::Folder ? EntryKind::Other : KindOf(status.st_mode);
        return opened;
    }
    opened.kind = EntryKind::Other;
    opened.failed = SystemError(error);
    return opened;
}

// Copies in into out (when there is one, else only sums it) as CopyInChunks does.
FileSum Copy(int in, int out, std::uint64_t limit, bool& writeFailed) {
    const auto read = [in](char* buffer, std::size_t size) {
        for (;;) {
            const ssize_t got = ::read(in, buffer, size);
            if (got >= 0 || errno != EINTR) {
                return got < 0 ? Chunk{0, SystemError(errno)} : Chunk{static_cast<std::size_t>(got), {}};
            }
        }
    };
    const auto write = [out](const char* bytes, std::size_t size) {
        for (std::size_t done = 0; done < size;) {
            const ssize_t wrote = ::write(out, bytes + done, size - done);
            if (wrote < 0 && errno == EINTR) {
                continue;
            }
            if (wrote <= 0) {
                return SystemError(wrote < 0 ? errno : EIO);
            }
            done += static_cast<std::size_t>(wrote);
        }
        return std::string();
    };
    return out >= 0 ? CopyInChunks(read, write, limit, writeFailed) : CopyInChunks(read, {}, limit, writeFailed);
}

// A package's file, opened for reading as itself: a link there is refused, not followed. -1, with
// the reason in failed, when it is not a regular file that opens.
int OpenPackageFile(const fs::path& path, std::string& failed) {
    Descriptor in{open(path.c_str(), O_RDONLY | Opening)};
    struct stat status {};
    if (in.fd < 0) {
        failed = errno == ELOOP ? "it is a link now" : SystemError(errno);
    } else if (fstat(in.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        failed = "it is not a regular file";
    } else {
        return in.Release();
    }
    return -1;
}

}  // namespace

bool StopAsked() { return stopSignal.load() != 0; }

fs::path SystemPath(const fs::path& path) { return path; }
fs::path AdminPath(const fs::path& path) { return path; }

std::optional<fs::path> OwnProgram() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? std::nullopt : std::optional<fs::path>(program);
}

std::optional<fs::path> LinkAt(const fs::path& path) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error))) {
        return std::nullopt;
    }
    const fs::path target = fs::read_symlink(path, error);
    return error ? fs::path() : target;
}

void HeldFolder::Close() {
    if (handle_ != Closed) {
        ::close(static_cast<int>(handle_));
        handle_ = Closed;
    }
}

FileId HeldFolder::Id() const {
    struct stat status {};
    return fstat(static_cast<int>(handle_), &status) == 0 ? IdOf(status) : FileId{};
}

FolderOpened OpenNamedFolder(const fs::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    return Opened(fd, errno, path, nullptr, path);
}

FolderOpened OpenFolderIn(const HeldFolder& parent, const fs::path& name) {
    const int fd = openat(Fd(parent), name.c_str(), O_RDONLY | O_DIRECTORY | Opening);
    return Opened(fd, errno, parent.Path() / name, &parent, name);
}

FolderOpened MakeFolderIn(const HeldFolder& parent, const fs::path& name) {
    if (mkdirat(Fd(parent), name.c_str(), 0755) != 0) {
        FolderOpened failed;
        failed.kind = EntryKind::Other;
        failed.failed = SystemError(errno);
        return failed;
    }
    FolderOpened made = OpenFolderIn(parent, name);
    struct stat owner {};
    if (made.folder.IsOpen() && fstat(Fd(parent), &owner) == 0 &&
        fchown(Fd(made.folder), owner.st_uid, owner.st_gid) != 0) {
        // Not allowed to give it away: it stays this process's, as any new folder would.
    }
    return made;
}

void RemoveEmptyFolderIn(const HeldFolder& parent, const fs::path& name, HeldFolder& held) {
    held.Close();
    unlinkat(Fd(parent), name.c_str(), AT_REMOVEDIR);
}

Entry EntryIn(const HeldFolder& folder, const fs::path& name) {
    Entry entry;
    struct stat status {};
    if (fstatat(Fd(folder), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        entry.kind = errno == ENOENT ? EntryKind::Missing : EntryKind::Other;
        return entry;
    }
    entry.kind = KindOf(status.st_mode);
    entry.id = IdOf(status);
    return entry;
}

fs::path LinkTargetIn(const HeldFolder& folder, const fs::path& name) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t length = readlinkat(Fd(folder), name.c_str(), target.data(), target.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

std::vector<fs::path> NamesIn(const HeldFolder& folder) {
    std::vector<fs::path> names;
    // A descriptor of its own: reading a folder moves the descriptor's position.
    const int fd = openat(Fd(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = fd < 0 ? nullptr : fdopendir(fd);
    if (listing == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return names;
    }
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    closedir(listing);
    return names;
}

bool RemoveFileIn(const HeldFolder& folder, const fs::path& name) { return unlinkat(Fd(folder), name.c_str(), 0) == 0; }

std::optional<std::string> ReadFileIn(const HeldFolder& folder, const fs::path& name, std::size_t limit) {
    const Descriptor file{openat(Fd(folder), name.c_str(), O_RDONLY | Opening)};
    return ReadOpenedRegularFile(file.fd, limit);
}

InstallLock::Outcome InstallLock::Take(const HeldFolder& folder, const fs::path& name,
                                       std::unique_ptr<InstallLock>& lock, std::string& failed) {
    Descriptor file{openat(Fd(folder), name.c_str(), O_RDWR | O_CREAT | Opening, 0644)};
    struct stat status {};
    if (file.fd < 0 || fstat(file.fd, &status) != 0) {
        failed = SystemError(errno);
        return Outcome::Failed;
    }
    if (!S_ISREG(status.st_mode)) {
        failed = "it is not a regular file";
        return Outcome::Failed;
    }
    if (flock(file.fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return Outcome::Busy;
        }
        failed = SystemError(errno);
        return Outcome::Failed;
    }
    // Locked: but a file removed or replaced since it was opened locks nothing another install sees.
    if (const Entry now = EntryIn(folder, name); now.kind != EntryKind::File || now.id != IdOf(status)) {
        failed = "it was removed or replaced while it was locked";
        return Outcome::Failed;
    }
    lock.reset(new InstallLock(file.Release()));
    return Outcome::Taken;
}

InstallLock::~InstallLock() { ::close(static_cast<int>(handle_)); }

FileSum SumFile(const fs::path& path, std::uint64_t limit) {
    FileSum sum;
    const Descriptor in{OpenPackageFile(path, sum.failed)};
    if (in.fd < 0) {
        return sum;
    }
    bool writeFailed = false;
    return Copy(in.fd, -1, limit, writeFailed);
}

std::unique_ptr<PartFile> PartFile::Make(const HeldFolder& folder, const fs::path& name, std::string& failed) {
    for (int attempt = 0;; ++attempt) {
        fs::path part = PartName(name);
        // Readable by this process only until Finish gives it its mode.
        const int fd = openat(Fd(folder), part.c_str(), O_WRONLY | O_CREAT | O_EXCL | Opening, 0600);
        if (fd >= 0) {
            return std::unique_ptr<PartFile>(new PartFile(folder, name, std::move(part), fd));
        }
        if (errno != EEXIST || attempt == 10) {
            failed = SystemError(errno);
            return nullptr;
        }
    }
}

PartFile::Copied PartFile::CopyFrom(const fs::path& from, std::uint64_t size) {
    std::string failed;
    const Descriptor in{OpenPackageFile(from, failed)};
    if (in.fd < 0) {
        return {{0, "", failed}, true};
    }
    bool writeFailed = false;
    FileSum sum = Copy(in.fd, static_cast<int>(handle_), size, writeFailed);
    return JudgedCopy(std::move(sum), writeFailed, size);
}

std::string PartFile::Finish(const fs::path& packageFile) {
    const int fd = static_cast<int>(handle_);
    struct stat replaced {};
    struct stat owner {};
    mode_t mode = 0644;
    if (fstatat(Fd(folder_), target_.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(replaced.st_mode)) {
        mode = replaced.st_mode & 0777;
        owner = replaced;
    } else {
        if (struct stat shipped{}; lstat(packageFile.c_str(), &shipped) == 0 && S_ISREG(shipped.st_mode)) {
            mode = shipped.st_mode & 0755;
        }
        fstat(Fd(folder_), &owner);
    }
    // On the open file, never by name: the name may no longer be this file.
    if (fchown(fd, owner.st_uid, owner.st_gid) != 0) {
        // Not allowed to give the file away: it keeps this process's owner, as any new file would.
    }
    if (fchmod(fd, mode) != 0 || fsync(fd) != 0) {
        return SystemError(errno);
    }
    return "";
}

bool PartFile::AtItsName() const {
    const Entry entry = EntryIn(folder_, name_);
    return entry.kind == EntryKind::File && entry.id == Id();
}

std::string PartFile::MoveTo(const fs::path& name, bool replace) {
    const int fd = Fd(folder_);
    if (replace) {
        if (renameat(fd, name_.c_str(), fd, name.c_str()) != 0) {
            return SystemError(errno);
        }
    } else if (renameat2(fd, name_.c_str(), fd, name.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL && errno != ENOSYS) {
            return SystemError(errno);
        }
        // A file system without RENAME_NOREPLACE: a second name, which is refused where one exists.
        if (linkat(fd, name_.c_str(), fd, name.c_str(), 0) != 0) {
            return SystemError(errno);
        }
        unlinkat(fd, name_.c_str(), 0);
    }
    moved_ = true;
    return "";
}

FileId PartFile::Id() const {
    struct stat status {};
    return fstat(static_cast<int>(handle_), &status) == 0 ? IdOf(status) : FileId{};
}

PartFile::~PartFile() {
    // The part's name is this install's own: whatever stands there now goes, unless it is a folder.
    if (!moved_) {
        unlinkat(Fd(folder_), name_.c_str(), 0);
    }
    ::close(static_cast<int>(handle_));
}

void WatchForStop() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

void EndAsStopped() {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    const int signal = stopSignal.load();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

void GiveModeAndOwner(const fs::path& part, const fs::path& modeFrom) {
    struct stat from {};
    if (lstat(modeFrom.c_str(), &from) != 0 || !S_ISREG(from.st_mode)) {
        return;
    }
    const Descriptor file{open(part.c_str(), O_RDONLY | Opening)};
    if (file.fd >= 0 && fchown(file.fd, from.st_uid, from.st_gid) != 0) {
        // Not allowed to give the file away: it keeps this process's owner, as any new file would.
    }
    if (file.fd >= 0) {
        fchmod(file.fd, from.st_mode & 0777);
    }
}

}  // namespace Lumora
