#include "text/ToolProcess.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "text/ToolProcessSystem.h"
#include "text/ToolText.h"

namespace Lumora {

namespace {

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

int RunTool(const char* tool, int (*run)(int, char**), int argc, char** argv) {
    PrepareToolProcess();
    int status = 2;
    try {
        std::vector<std::string> arguments = ToolArguments(argc, argv);
        std::vector<char*> pointers;
        for (auto& argument : arguments) {
            pointers.push_back(argument.data());
        }
        pointers.push_back(nullptr);
        argc = static_cast<int>(arguments.size());
        argv = pointers.data();
        status = run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << tool << ": " << EscapeText(error.what()) << '\n';
    }
    return FinishToolOutput(tool, status);
}

}  // namespace Lumora
