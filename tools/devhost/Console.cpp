#include "devhost/Console.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>

#include <unistd.h>
#endif

#include <cstdio>
#include <iostream>

#if !defined(_WIN32)
#include <editline/readline.h>
#endif

namespace Devhost {

bool StdinIsTerminal() {
#if defined(_WIN32)
    // Not _isatty: it is true for the NUL device too, and a script run with "<NUL" would get prompts.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

// One line typed at the prompt, with line editing and history where the system has them.
bool ReadTypedLine(std::string& line) {
#if defined(_WIN32)
    std::cout << "lumora> " << std::flush;
    return static_cast<bool>(std::getline(std::cin, line));
#else
    char* input = readline("lumora> ");
    if (input == nullptr) {
        return false;
    }
    line = input;
    std::free(input);
    if (!line.empty()) {
        add_history(line.c_str());
    }
    return true;
#endif
}

}  // namespace Devhost
