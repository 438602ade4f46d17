#pragma once
// The keyboard, when a person types the session: line editing and history where the system has it.

#include <string>

namespace Devhost {

bool StdinIsTerminal();
// One line typed at the prompt into line; false at the end of input.
bool ReadTypedLine(std::string& line);

}  // namespace Devhost
