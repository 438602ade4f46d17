// What the worst config.json files that the size limit lets through cost start-up: CPU time and
// peak memory above what the process held before the load, each file loaded in a process of its
// own so that one file's peak is not another's.
//
//   lumora-worst-files           the table; exit status 1 when a file costs more than 0.1 s of CPU
//                                or 64 MiB of peak memory, or when the largest valid file does not
//                                load
//   lumora-worst-files KIND      one file, as one row

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "AsaApiStandIn/Control.h"
#include "config/ConfigLoader.h"
#include "facts/LargestFile.h"

// It reads its figures from Linux's /proc; the parse in MSVC's mode sees only the message below.
#if defined(__linux__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace Lumora;

namespace {

constexpr double MaxCpuSeconds = 0.1;
constexpr double MaxPeakMiB = 64;

// Repeats piece until the file would pass the size limit, between head and tail.
std::string Fill(const std::string& head, const std::function<std::string(std::size_t)>& piece,
                 const std::string& tail) {
    std::string text = head;
    for (std::size_t i = 0;; ++i) {
        std::string next = piece(i);
        if (text.size() + next.size() + tail.size() > MaxConfigBytes) {
            break;
        }
        text += next;
    }
    return text + tail;
}

const std::vector<std::pair<std::string, std::function<std::string()>>>& Kinds() {
    static const std::vector<std::pair<std::string, std::function<std::string()>>> kinds = {
        {"deepest arrays", [] { return std::string(MaxConfigBytes, '['); }},
        {"deepest objects",
         [] {
             return Fill(
                 "", [](std::size_t) { return std::string("{\"\":"); }, "");
         }},
        {"widest array",
         [] {
             return Fill(
                 "{\"x\":[0", [](std::size_t) { return std::string(",0"); }, "]}");
         }},
        {"most members",
         [] {
             return Fill(
                 "{\"x\":0", [](std::size_t i) { return ",\"" + std::to_string(i) + "\":0"; }, "}");
         }},
        {"longest string", [] { return "{\"x\":\"" + std::string(MaxConfigBytes - 8, 'a') + "\"}"; }},
        {"most keys twice",
         [] {
             return Fill(
                 "{\"\":0", [](std::size_t) { return std::string(",\"\":0"); }, "}");
         }},
        {"array of deep elements",
         [] {
             const std::string element = std::string(MaxConfigDepth - 2, '[') + std::string(MaxConfigDepth - 2, ']');
             return Fill(
                 "[" + element, [&](std::size_t) { return "," + element; }, "]");
         }},
        {"array of empty objects",
         [] {
             return Fill(
                 "[{}", [](std::size_t) { return std::string(",{}"); }, "]");
         }},
        {"widest list of a known key",
         [] {
             return Fill(
                 "{\"OffCommands\":[\"a\"", [](std::size_t) { return std::string(",\"a\""); }, "]}");
         }},
        {"widest array of floats",
         [] {
             return Fill(
                 "{\"x\":[1.5e-3", [](std::size_t) { return std::string(",1.5e-3"); }, "]}");
         }},
        {"longest escaped string",
         [] {
             return Fill(
                 "{\"x\":\"", [](std::size_t) { return std::string("\\ud83d\\ude00"); }, "\"}");
         }},
        {"largest valid, escaped", [] { return LargestValidFile(true); }},
        {"largest valid", [] { return LargestValidFile(false); }},
    };
    return kinds;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status, in KiB.
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(std::strlen(field)));
        }
    }
    return -1;
}

int One(const std::string& kind) {
    for (const auto& [name, make] : Kinds()) {
        if (name != kind) {
            continue;
        }
        const fs::path folder = StandIn::NewServerFolder("lumora-worst");
        const fs::path file = folder / "config.json";
        std::size_t bytes = 0;
        {
            const std::string text = make();
            bytes = text.size();
            std::ofstream(file, std::ios::binary) << text;
        }
        std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
        const long before = StatusKiB("VmRSS:");
        const double start = CpuSeconds();
        std::string outcome = "loads";
        try {
            LoadConfigFrom(file.string());
        } catch (const std::exception& error) {
            outcome = std::string(error.what()).substr(0, 60);
        }
        const double cpu = CpuSeconds() - start;
        const double peak = static_cast<double>(StatusKiB("VmHWM:") - before) / 1024;
        fs::remove_all(folder);
        std::printf("| %s | %zu | %.1f | %.1f | %s |\n", name.c_str(), bytes, cpu * 1000, peak, outcome.c_str());
        // A valid file at every limit loads, escaped or not: the size limit leaves room for it.
        const bool mustLoad = name.rfind("largest valid", 0) == 0;
        return cpu <= MaxCpuSeconds && peak <= MaxPeakMiB && (!mustLoad || outcome == "loads") ? 0 : 1;
    }
    std::fprintf(stderr, "lumora-worst-files: no file kind %s\n", kind.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        return One(argv[1]);
    }
    std::printf("| file (at most %ju bytes) | bytes | CPU ms | peak MiB | outcome |\n|---|---|---|---|---|\n",
                static_cast<std::uintmax_t>(MaxConfigBytes));
    std::fflush(stdout);
    int failed = 0;
    for (const auto& [name, make] : Kinds()) {
        const pid_t child = fork();
        if (child == 0) {
            execl("/proc/self/exe", argv[0], name.c_str(), static_cast<char*>(nullptr));
            _exit(2);
        }
        int status = 0;
        waitpid(child, &status, 0);
        failed |= !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    }
    std::printf(failed ? "worst files: over the bound (%.1f s of CPU, %.0f MiB)\n"
                       : "worst files: within the bound (%.1f s of CPU, %.0f MiB)\n",
                MaxCpuSeconds, MaxPeakMiB);
    return failed;
}
#else
int main() {
    std::fprintf(stderr, "lumora-worst-files measures through /proc, which only Linux has\n");
    return 2;
}
#endif
