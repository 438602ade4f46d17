#pragma once
// The development host's --hold: a library held as a server holds a loaded plugin (mapped by the
// system's loader, so that Windows refuses to replace it) without anything in it being called.

#include <filesystem>

namespace Lumora {

// Maps the library at path, says so on standard output, and holds it until standard input ends.
// 0, or 1 with the system's reason on standard error when it cannot be mapped.
int HoldLibrary(const std::filesystem::path& path);

}  // namespace Lumora
