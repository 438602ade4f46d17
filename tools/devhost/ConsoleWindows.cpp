// The prompt on Windows: the console keeps its own line editing and history.

#include <iostream>

#include <windows.h>

#include "devhost/Console.h"

namespace Devhost {

bool StdinIsTerminal() {
    // Not _isatty: it is true for the NUL device too, and a script run with "<NUL" would get prompts.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool ReadTypedLine(std::string& line) {
    std::cout << "lumora> " << std::flush;
    return static_cast<bool>(std::getline(std::cin, line));
}

}  // namespace Devhost
