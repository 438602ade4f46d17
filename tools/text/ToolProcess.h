#pragma once
// What both tools do first and last as processes: standard descriptors that are there, writes that
// fail rather than end the process, and output that counts as written only when it was.

namespace Lumora {

// Before a tool opens anything: descriptors 0 to 2 are open (on the null device where one was
// closed), so that no file the tool opens becomes its standard output; a write past the file-size
// limit fails with "File too large" instead of ending the process (POSIX; nothing on Windows).
void PrepareToolProcess();

// After a tool's work: flushes standard output. Returns status, or, when what was written there
// could not all be written, 1 (or status if that already says a failure) after a message on
// standard error naming tool.
int FinishToolOutput(const char* tool, int status);

}  // namespace Lumora
