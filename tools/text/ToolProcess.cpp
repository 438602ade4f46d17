#include "text/ToolProcess.h"

#include "text/ToolText.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <iostream>
#include <system_error>

#if !defined(_WIN32)
#include <csignal>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace Lumora {

namespace {

void PrepareToolProcess() {
#if !defined(_WIN32)
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor: this one, as the ones below it are open.
            if (open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) {
                _exit(2);
            }
        }
    }
    signal(SIGXFSZ, SIG_IGN);
#endif
}

int FinishToolOutput(const char* tool, int status) {
    std::cout.flush();
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int reason = errno;
    if (flushed && std::cout && !std::ferror(stdout)) {
        return status;
    }
    std::cerr << tool << ": standard output could not be written";
    if (!flushed && reason != 0) {
        std::cerr << ": " << std::generic_category().message(reason);
    }
    std::cerr << '\n';
    return status == 0 ? 1 : status;
}

}  // namespace

int RunTool(const char* tool, int (*run)(int, char**), int argc, char** argv) {
    PrepareToolProcess();
    int status = 2;
    try {
        status = run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << tool << ": " << EscapeText(error.what()) << '\n';
    }
    return FinishToolOutput(tool, status);
}

}  // namespace Lumora
