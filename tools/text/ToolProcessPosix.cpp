// What a tool does first as a process on POSIX: standard descriptors that are there, and writes
// that fail rather than end the process.

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include "text/ToolProcessSystem.h"

namespace Lumora {

void PrepareToolProcess() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor: this one, as the ones below it are open.
            if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) {
                _exit(2);
            }
        }
    }
    signal(SIGXFSZ, SIG_IGN);
    // A reader that went away is a failed write, said at the end, not a silent end mid-install.
    signal(SIGPIPE, SIG_IGN);
}

std::vector<std::string> ToolArguments(int argc, char** argv) { return {argv, argv + argc}; }

void RestoreConsole() {}

}  // namespace Lumora
