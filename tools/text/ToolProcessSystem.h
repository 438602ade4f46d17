#pragma once
// What RunTool asks of each system, in ToolProcessPosix.cpp and ToolProcessWindows.cpp.

#include <string>
#include <vector>

#include "text/ToolProcess.h"

namespace Lumora {

// Before the tool opens anything: standard descriptors 0 to 2 open, writes that fail rather than
// end the process (POSIX); a console that shows UTF-8 (Windows).
void PrepareToolProcess();
// The arguments as typed, in UTF-8 (on Windows the narrow ones main gets went through the ANSI
// code page).
std::vector<std::string> ToolArguments(int argc, char** argv);

}  // namespace Lumora
