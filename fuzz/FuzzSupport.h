#pragma once
// What the fuzz targets share: a host started once, and checks that stop the run on a broken property.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "AsaApiStandIn/Control.h"

namespace FuzzSupport {

[[noreturn]] inline void Broken(const char* property, const std::string& detail = "") {
    std::fprintf(stderr, "property broken: %s %s\n", property, detail.c_str());
    std::abort();
}

#define FUZZ_CHECK(condition, detail)                \
    do {                                             \
        if (!(condition)) {                          \
            FuzzSupport::Broken(#condition, detail); \
        }                                            \
    } while (0)

inline std::filesystem::path& ServerFolder() {
    static std::filesystem::path folder;
    return folder;
}

// libFuzzer ends a run with exit(): the server folder goes then.
inline void StartHostOnce() {
    static bool started = [] {
        ServerFolder() = std::filesystem::temp_directory_path() / ("lumora-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(ServerFolder());
        StandIn::StartHost({ServerFolder(), false, false});
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ServerFolder(), ignored);
        });
        return true;
    }();
    (void)started;
}

inline bool ValidUtf8(const std::string& text) { return StandIn::ToUtf8(StandIn::ToUtf16(text)) == text; }

}  // namespace FuzzSupport
