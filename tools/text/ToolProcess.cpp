#include "text/ToolProcess.h"

#include "text/ToolText.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <system_error>

#if defined(_WIN32)
#include <string>
#include <vector>

#include <windows.h>
// windows.h first: shellapi.h uses its types.
#include <shellapi.h>
#else
#include <csignal>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace Lumora {

namespace {

#if defined(_WIN32)
UINT originalCodePage = 0;  // none read: nothing to give back
#endif

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
    // A reader that went away is a failed write, said at the end, not a silent end mid-install.
    signal(SIGPIPE, SIG_IGN);
#else
    // What the tools print is UTF-8; the console shows it as such until the tool ends, when the
    // admin's own code page comes back, however the tool ends.
    originalCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    std::atexit(RestoreConsole);
#endif
}

#if defined(_WIN32)
// The arguments as typed, in UTF-8: the narrow ones main gets went through the ANSI code page,
// which turns a letter outside it into another.
std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return arguments;
    }
    for (int i = 0; i < count; ++i) {
        const int length = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string argument(length > 0 ? static_cast<std::size_t>(length) : 1, '\0');
        if (length > 0) {
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, argument.data(), length, nullptr, nullptr);
        }
        argument.pop_back();  // the terminating null
        arguments.push_back(std::move(argument));
    }
    LocalFree(wide);
    return arguments;
}
#endif

int FinishToolOutput(const char* tool, int status) {
    std::cout.flush();
    // Flushed before the code page changes back, so that the console shows it in UTF-8.
    struct Restore {
        ~Restore() { RestoreConsole(); }
    } restore;
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
    return status == 0 ? OutputLostStatus : status;
}

}  // namespace

void RestoreConsole() {
#if defined(_WIN32)
    if (originalCodePage != 0) {
        std::fflush(nullptr);
        SetConsoleOutputCP(originalCodePage);
    }
#endif
}

int RunTool(const char* tool, int (*run)(int, char**), int argc, char** argv) {
    PrepareToolProcess();
    int status = 2;
    try {
#if defined(_WIN32)
        std::vector<std::string> arguments = Utf8Arguments();
        std::vector<char*> pointers;
        for (auto& argument : arguments) {
            pointers.push_back(argument.data());
        }
        pointers.push_back(nullptr);
        if (!arguments.empty()) {
            argc = static_cast<int>(arguments.size());
            argv = pointers.data();
        }
#endif
        status = run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << tool << ": " << EscapeText(error.what()) << '\n';
    }
    return FinishToolOutput(tool, status);
}

}  // namespace Lumora
