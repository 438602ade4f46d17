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

inline void StartHostOnce() {
    static bool started = [] {
        auto dir = std::filesystem::temp_directory_path() / ("lumora-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        StandIn::StartHost({dir, false, false});
        return true;
    }();
    (void)started;
}

inline bool ValidUtf8(const std::string& text) { return StandIn::ToUtf8(StandIn::ToUtf16(text)) == text; }

}  // namespace FuzzSupport
