// What a tool does first and last as a process on Windows: the arguments as typed, and a console
// that shows UTF-8 while the tool runs.

#include <cstdio>
#include <cstdlib>

#include <windows.h>
// windows.h first: shellapi.h uses its types.
#include <shellapi.h>

#include "text/ToolProcessSystem.h"

namespace Lumora {

namespace {

UINT originalCodePage = 0;  // none read: nothing to give back

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
}  // namespace

void PrepareToolProcess() {
    // What the tools print is UTF-8; the console shows it as such until the tool ends, when the
    // admin's own code page comes back, however the tool ends.
    originalCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    std::atexit(RestoreConsole);
}

std::vector<std::string> ToolArguments(int argc, char** argv) {
    std::vector<std::string> arguments = Utf8Arguments();
    return arguments.empty() ? std::vector<std::string>(argv, argv + argc) : arguments;
}

void RestoreConsole() {
    if (originalCodePage != 0) {
        std::fflush(nullptr);
        SetConsoleOutputCP(originalCodePage);
    }
}

}  // namespace Lumora
