#pragma once
// Files as config.json is read and written: a regular file only, never a named pipe, a device or a
// socket, and opening never blocks. What is opened is checked, not the path before it, so nothing
// swapped in between the two can block the game thread.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace Lumora {

// The bytes of the regular file that path opens (a link is followed to it), no more than limit + 1
// of them: more than limit means the file is larger. Nothing when what path opens is not a regular
// file that can be read.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t limit);

// Writes text into a new regular file at path; nothing that exists there is opened, a link or a
// dangling link included. Empty, or what failed (the system's words).
std::string WriteNewRegularFile(const std::filesystem::path& path, const std::string& text);

}  // namespace Lumora
