#pragma once
// What the Windows files of the project's system calls share with config.json's reading.
// Included by ...Windows.cpp files only.

#include <cstddef>
#include <optional>
#include <string>

#include <windows.h>

namespace Lumora {

// The bytes of the regular file open at file, no more than limit + 1 of them; nothing when it is
// not an open file on a disk.
std::optional<std::string> ReadOpenedRegularFile(HANDLE file, std::size_t limit);

}  // namespace Lumora
