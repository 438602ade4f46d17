#pragma once
// The development host's --hold: a library held as a server holds a loaded plugin (mapped by the
// system's loader, so that Windows refuses to replace it) without anything in it being called.

#include <filesystem>
#include <memory>
#include <string>

namespace Lumora {

// Maps the library at path, says so on standard output, and holds it until standard input ends.
// 0, or 1 with the system's reason on standard error when it cannot be mapped.
int HoldLibrary(const std::filesystem::path& path);

// The library at path mapped as the system's loader maps it, and unmapped when the last copy of
// the result goes; nothing, with the reason, for what is no regular file or no library of this
// system (ELF here, PE on Windows).
std::shared_ptr<void> MapLibrary(const std::filesystem::path& path, std::string& reason);

}  // namespace Lumora
