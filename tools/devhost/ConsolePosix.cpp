// The prompt on POSIX: line editing and history from libedit.

#include <cstdlib>

#include <unistd.h>

#include <editline/readline.h>

#include "devhost/Console.h"

namespace Devhost {

bool StdinIsTerminal() { return isatty(STDIN_FILENO) != 0; }

bool ReadTypedLine(std::string& line) {
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
}

}  // namespace Devhost
