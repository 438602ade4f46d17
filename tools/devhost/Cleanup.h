#pragma once
// The development host's own server folder is removed however the run ends.

#include <filesystem>

namespace Devhost {

// A process of its own (POSIX), or a console handler (Windows), that removes folder once this run
// has ended, however it ended: a signal, a broken pipe, a crash, Ctrl-C.
void RemoveWhenThisProcessEnds(const std::filesystem::path& folder);

}  // namespace Devhost
