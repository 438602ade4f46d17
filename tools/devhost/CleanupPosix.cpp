// The server folder's removal on POSIX: a process of its own that outlives the run.

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <system_error>

#include <unistd.h>

#include "devhost/Cleanup.h"

namespace fs = std::filesystem;

namespace Devhost {

namespace {
// Closes the descriptors first..last. close_range is missing before Linux 5.9 and refused under some
// seccomp profiles (containers): then one by one, up to the process's descriptor limit.
void CloseDescriptors(unsigned first, unsigned last) {
    if (first > last || close_range(first, last, 0) == 0) {
        return;
    }
    const long limit = sysconf(_SC_OPEN_MAX);
    const unsigned end = limit > 0 ? static_cast<unsigned>(std::min<long>(limit, 1L << 24)) : 1U << 20;
    for (unsigned fd = first; fd <= last && fd < end; ++fd) {
        close(static_cast<int>(fd));
    }
}

// A process of its own that removes the server folder this run made once the run has ended, however
// it ended (a signal, a broken pipe, a crash): it waits for the end of a pipe only the run writes to.
}  // namespace

void RemoveWhenThisProcessEnds(const fs::path& folder) {
    int ends[2];
    if (pipe(ends) != 0) {
        return;
    }
    const pid_t child = fork();
    if (child == 0) {
        // Every descriptor but the read end goes, its own copy of the write end among them, however
        // many the run inherited: else the pipe never closes.
        if (ends[0] > 0) {
            CloseDescriptors(0, static_cast<unsigned>(ends[0]) - 1);
        }
        CloseDescriptors(static_cast<unsigned>(ends[0]) + 1, ~0U);
        setsid();  // a Ctrl-C at the terminal reaches the run, not this
        // A stop by name (pkill lumora-devhost) reaches this too; it ends only when the pipe closes.
        for (const int stop : {SIGTERM, SIGHUP, SIGINT}) {
            signal(stop, SIG_IGN);
        }
        char byte = 0;
        while (read(ends[0], &byte, 1) > 0) {
        }
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        _exit(0);
    }
    close(ends[0]);
    if (child < 0) {
        close(ends[1]);
    }
    // The write end stays open, unused, until this process ends.
}

}  // namespace Devhost
