#pragma once
// What install asks of the system, one function a call, the same on POSIX and on Windows: links
// seen for what they are, a lock that the system drops however the process ends, files copied in
// chunks into new files, a move that never replaces, and part files that a stop removes.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace Lumora {

// The path as the system calls take it: on Windows, a path too long for the old 260-character
// limit gets the \\?\ prefix (\\?\UNC\ for a share) that lifts it; elsewhere, path as it is.
std::filesystem::path SystemPath(const std::filesystem::path& path);
// The path as an admin wrote it: without that prefix.
std::filesystem::path AdminPath(const std::filesystem::path& path);

// Where a symbolic link (or, on Windows, a junction or any other reparse point) at path points,
// as the system reads it ("" when it cannot say); nothing when path is no link.
std::optional<std::filesystem::path> LinkAt(const std::filesystem::path& path);

// The file installs into server lock, beside the plugin folder, which may not be there yet: in
// ArkApi, which must be. It is left in place: removing it would let a third install lock a new
// file while a second still holds the old one.
std::filesystem::path InstallLockPath(const std::filesystem::path& server);

// An exclusive lock on the file at path (made when missing), held until this is destroyed or the
// process ends, however it ends.
class InstallLock {
public:
    enum class Outcome { Taken, Busy, Failed };
    // Taken, or Busy when another process holds it, or Failed with the system's words in failed.
    static Outcome Take(const std::filesystem::path& path, std::unique_ptr<InstallLock>& lock, std::string& failed);
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

private:
    explicit InstallLock(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

// The size and SHA-256 of a regular file, read in chunks; failed names what went wrong.
struct FileSum {
    std::uint64_t size = 0;
    std::string sha256;
    std::string failed;
};
FileSum SumFile(const std::filesystem::path& path);

// Copies the regular file from into a new file to (nothing that exists there is opened), in
// chunks, and sums what it copied. A stop asked for (WatchForStop) ends the copy: failed says so.
FileSum CopyIntoNewFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Moves from to to only when nothing is at to. Empty, or what failed.
std::string MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Gives part the permissions of modeFrom and, where the system lets this process, the owner and
// group of ownerFrom; a file that is not there gives nothing.
void GiveModeAndOwner(const std::filesystem::path& part, const std::filesystem::path& modeFrom,
                      const std::filesystem::path& ownerFrom);

// Gives an installed file its mode: that of the file it replaces (and, where the system lets this
// process, its owner), or for a new file the package's without write for group and others. On
// Windows an installed file keeps the attributes it was made with: never read-only.
void GiveInstalledMode(const std::filesystem::path& part, const std::filesystem::path& packageFile,
                       const std::filesystem::path& replaced);

// True when path is a file Windows will not let anyone replace (its read-only attribute).
bool IsReadOnlyFile(const std::filesystem::path& path);

// From now on Ctrl-C, a console close or SIGTERM/SIGHUP only asks the install to stop: it looks
// between two chunks, removes its own part files and ends.
void WatchForStop();
bool StopAsked();
// Ends the process as the stop asked it to (the signal's own status on POSIX, 130 on Windows).
[[noreturn]] void EndAsStopped();

}  // namespace Lumora
