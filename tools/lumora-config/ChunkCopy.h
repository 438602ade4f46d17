#pragma once
// The chunked copy both systems' install files share: read, sum, write, stop.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "lumora-config/InstallFiles.h"

namespace Lumora {

// One read: the bytes it gave (0 at the end), or what failed.
struct Chunk {
    std::size_t size = 0;
    std::string failed;
};

// Reads with read into a sum, chunk by chunk, no more than limit + 1 bytes, writing each chunk
// with write when there is one (which gives what failed, or nothing); between two chunks a stop
// asked for (WatchForStop) ends it. writeFailed tells a failed write or a stop from a failed read.
FileSum CopyInChunks(const std::function<Chunk(char*, std::size_t)>& read,
                     const std::function<std::string(const char*, std::size_t)>& write, std::uint64_t limit,
                     bool& writeFailed);

// A copy into a part judged for PartFile::CopyFrom: a failed read, or a file grown past the size its
// list gives, is the package's fault; a failed write or a stop is the part's.
PartFile::Copied JudgedCopy(FileSum sum, bool writeFailed, std::uint64_t size);

}  // namespace Lumora
