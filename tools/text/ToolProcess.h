#pragma once
// What both tools do first and last as processes: standard descriptors that are there, writes that
// fail rather than end the process, and output that counts as written only when it was.

namespace Lumora {

// The status of a tool whose standard output could not all be written, where it would otherwise
// have ended well: nothing else means that.
inline constexpr int OutputLostStatus = 6;

// Runs a tool's own main, run, as a process of its own: before it opens anything, descriptors 0
// to 2 are open (on the null device where one was closed), so that no file the tool opens becomes
// its standard output; a write past the file-size limit fails with "File too large", and a write
// to a pipe whose reader has gone fails too, instead of ending the process (POSIX). On Windows run
// gets the arguments in UTF-8, and the console shows UTF-8 while it runs. An exception from run ends in a
// message and status 2. Afterwards standard output is flushed; when what was written there could
// not all be written, a message on standard error and OutputLostStatus (or run's own failure
// status).
int RunTool(const char* tool, int (*run)(int, char**), int argc, char** argv);

// Gives the console back the output code page it had before RunTool (Windows; nothing elsewhere):
// RunTool does at its end and at exit, and a tool that ends its process otherwise calls it first.
void RestoreConsole();

}  // namespace Lumora
