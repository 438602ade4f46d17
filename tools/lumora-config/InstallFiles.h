#pragma once
// What install asks of the system, the same on POSIX and on Windows. Every folder from the one the
// admin named down to the plugin folder is held open once found, and everything below it is
// reached from what is held, never by its whole name again: the account that owns the server's
// folder cannot move install's reads, writes, modes or renames elsewhere between a check and a
// use. On Windows the folders (and each part file) are also held without delete sharing, so that
// none can be moved or replaced while the install runs.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Lumora {

// The path as the system calls take it, for every file argument of every command: on Windows, a
// path that could reach the old 260-character limit (from 180 characters, room for a folder and
// a part file's name below it) gets the \\?\ prefix (\\?\UNC\ for a share) that lifts it, made
// whole; elsewhere, and for a shorter path, path as it is.
std::filesystem::path SystemPath(const std::filesystem::path& path);
// The path as an admin wrote it: without that prefix.
std::filesystem::path AdminPath(const std::filesystem::path& path);

// The running program's own file, as the system names it; nothing when it does not say.
std::optional<std::filesystem::path> OwnProgram();

// Where a symbolic link (or, on Windows, a junction or any other reparse point) at path points,
// as the link states it, which is what was typed when it was made ("" when the system cannot
// say); nothing when path is no link.
std::optional<std::filesystem::path> LinkAt(const std::filesystem::path& path);

// What the data of a Windows reparse point (as FSCTL_GET_REPARSE_POINT gives it) states it leads
// to: a symbolic link's or a junction's print name, or when that is empty its substitute name
// without the \??\ prefix. Nothing for another kind of reparse point, or data cut short.
std::optional<std::u16string> ReparseTarget(const unsigned char* data, std::size_t size);

// What a name in a folder is, the name itself (a link is not followed).
enum class EntryKind { Missing, File, Folder, Link, Other };

// Which file: two names with the same identity are one file.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};

struct Entry {
    EntryKind kind = EntryKind::Missing;
    FileId id;
    bool readOnly = false;  // Windows' read-only attribute: such a file cannot be replaced
};

// A folder held open: a descriptor, or on Windows a handle that keeps it where it is.
class HeldFolder {
public:
    HeldFolder() = default;
    HeldFolder(std::intptr_t handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)) {}
    HeldFolder(HeldFolder&& other) noexcept;
    HeldFolder& operator=(HeldFolder&& other) noexcept;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    ~HeldFolder();

    bool IsOpen() const { return handle_ != Closed; }
    // Where it was found: for messages, and on Windows for what is opened below it.
    const std::filesystem::path& Path() const { return path_; }
    std::intptr_t Native() const { return handle_; }
    FileId Id() const;
    void Close();

    static constexpr std::intptr_t Closed = -1;

private:
    std::intptr_t handle_ = Closed;
    std::filesystem::path path_;
};

struct FolderOpened {
    EntryKind kind = EntryKind::Missing;  // Folder when it was opened
    HeldFolder folder;
    std::string failed;  // the system's words, for Other
};

// Opens the folder the admin named; a link there is followed, as the admin chose it.
FolderOpened OpenNamedFolder(const std::filesystem::path& path);
// Opens the folder called name in parent; a link there is not followed but reported as one.
FolderOpened OpenFolderIn(const HeldFolder& parent, const std::filesystem::path& name);
// Makes the folder name in parent and opens it as OpenFolderIn does, giving it parent's owner and
// group where this process may.
FolderOpened MakeFolderIn(const HeldFolder& parent, const std::filesystem::path& name);
// Removes the folder name from parent when it is empty; the held folder is closed first.
void RemoveEmptyFolderIn(const HeldFolder& parent, const std::filesystem::path& name, HeldFolder& held);

Entry EntryIn(const HeldFolder& folder, const std::filesystem::path& name);
// Where the link name in folder points, as the link states it ("" when the system cannot say).
std::filesystem::path LinkTargetIn(const HeldFolder& folder, const std::filesystem::path& name);
// The names folder holds.
std::vector<std::filesystem::path> NamesIn(const HeldFolder& folder);
// Removes the file (or link) name from folder: never a folder, never what a link leads to.
bool RemoveFileIn(const HeldFolder& folder, const std::filesystem::path& name);
// The bytes of the regular file name in folder, no more than limit + 1 of them; nothing when it
// is not a regular file (a link is not followed) or cannot be read.
std::optional<std::string> ReadFileIn(const HeldFolder& folder, const std::filesystem::path& name, std::size_t limit);

// The file installs into a server lock, in ArkApi: it is left in place, as removing it would let
// a third install lock a new file while a second still holds the old one.
extern const char* const InstallLockName;
std::filesystem::path InstallLockPath(const std::filesystem::path& server);

// An exclusive lock on the file name in folder (made when missing), held until this is destroyed
// or the process ends, however it ends. The file locked is the one at that name once locked.
class InstallLock {
public:
    enum class Outcome { Taken, Busy, Failed };
    // Taken, or Busy when another process holds it, or Failed with the reason in failed.
    static Outcome Take(const HeldFolder& folder, const std::filesystem::path& name, std::unique_ptr<InstallLock>& lock,
                        std::string& failed);
    // The same for the lock file at path, its folder opened first.
    static Outcome Take(const std::filesystem::path& path, std::unique_ptr<InstallLock>& lock, std::string& failed);
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

private:
    explicit InstallLock(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

// The size and SHA-256 of a regular file (a link is not followed), read in chunks; failed names
// what went wrong. A file larger than limit is not read past it.
struct FileSum {
    std::uint64_t size = 0;
    std::string sha256;
    std::string failed;
};
FileSum SumFile(const std::filesystem::path& path, std::uint64_t limit);

// A file that install writes whole under a new name beside the one it installs, in a held folder,
// held open until it is moved into place or removed.
class PartFile {
public:
    // The part file of name, made new in folder (nothing that exists there is opened); nothing,
    // with the reason in failed, when it cannot be.
    static std::unique_ptr<PartFile> Make(const HeldFolder& folder, const std::filesystem::path& name,
                                          std::string& failed);
    // Copies the regular file from into the part, in chunks, never more than size bytes of it; a
    // stop asked for (WatchForStop) ends the copy. What failed says whose fault it was.
    struct Copied {
        FileSum sum;
        bool readFailed = false;  // failed is about from, else about the part
    };
    Copied CopyFrom(const std::filesystem::path& from, std::uint64_t size);
    // Gives the part its mode, on the open file: the permissions (never set-id bits) and, where
    // this process may, the owner of the regular file it replaces, else packageFile's permissions
    // without write for group and others and the folder's owner and group. Then writes it through.
    // On Windows a part keeps the attributes it was made with: never read-only. Empty, or what failed.
    std::string Finish(const std::filesystem::path& packageFile);
    // True while the part's name is this file.
    bool AtItsName() const;
    // Moves the part to name in its folder; over what is there only when replace is set. Empty,
    // or what failed.
    std::string MoveTo(const std::filesystem::path& name, bool replace);
    FileId Id() const;
    const std::filesystem::path& Name() const { return name_; }
    // A part not moved into place is removed (its name, while that is still this file).
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

private:
    PartFile(const HeldFolder& folder, std::filesystem::path target, std::filesystem::path name, std::intptr_t handle)
        : folder_(folder), target_(std::move(target)), name_(std::move(name)), handle_(handle) {}
    const HeldFolder& folder_;
    std::filesystem::path target_;  // the name it is the part of
    std::filesystem::path name_;
    std::intptr_t handle_;
    bool moved_ = false;
};

// A new name for name's part file: name.part-<digits>.
std::filesystem::path PartName(const std::filesystem::path& name);
// True when file is a part file of name, as PartName makes them.
bool IsPartOf(const std::filesystem::path& file, const std::filesystem::path& name);

// Where the system cannot make a link (wine), the tests make install's checks take the entries at
// the paths this names for links. Null in every program.
extern bool (*TakenForLink)(const std::filesystem::path& path);

// From now on Ctrl-C, a console close or SIGTERM/SIGHUP only asks the install to stop: it looks
// between two chunks, removes its own part files and ends.
void WatchForStop();
bool StopAsked();
// Ends the process as the stop asked it to (the signal's own status on POSIX, 130 on Windows).
[[noreturn]] void EndAsStopped();

// init's replacement of a file by name, which an admin runs on a file of their own: the
// permissions and owner of modeFrom given to part (nothing when it is no regular file).
void GiveModeAndOwner(const std::filesystem::path& part, const std::filesystem::path& modeFrom);

}  // namespace Lumora
