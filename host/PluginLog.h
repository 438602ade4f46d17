#pragma once
// The plugin's log channel is the host's Log class over the host's sinks; every line's first
// argument is the plugin's name.

#include <exception>
#include <string>

#include "host/Messages.h"

namespace Lumora {

// Writes "Lumora: WHAT failed: REASON" at error level, when there is a channel to write to.
inline void LogFailure(const char* what, const char* reason) noexcept {
    try {
        WriteLog<FailedLine>(std::string(what), std::string(reason));
    } catch (...) {
        // Nothing more can be said without risking the server.
    }
}

// Runs one call the host made. The host has no handler of its own, so an exception that left it
// would end the server: it is logged instead, and what was done before it stays done.
template <typename Step>
void RunGuarded(const char* what, Step step) noexcept {
    try {
        step();
    } catch (const std::exception& error) {
        LogFailure(what, error.what());
    } catch (...) {
        LogFailure(what, "unknown exception");
    }
}

}  // namespace Lumora
