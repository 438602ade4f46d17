// lumora-docs: what the docs take from the code (scripts/docs/write-key-docs): the admin guide's table
// of keys and the figures the docs quote. A developer's tool: it is not shipped.

#include <iostream>
#include <iterator>
#include <string>
#include <utility>

#include "config/ConfigLoader.h"
#include "facts/LargestFile.h"
#include "generated/Version.h"
#include "lumora-config/Schema.h"
#include "text/ToolProcess.h"

using namespace Lumora;

namespace {

const char* const Usage =
    "usage: lumora-docs keys    (the admin guide's table of keys)\n"
    "       lumora-docs facts   (the figures the docs quote, one \"NAME VALUE\" a line)\n";

// 1234567 as "1,234,567".
std::string WithCommas(std::size_t value) {
    const std::string digits = std::to_string(value);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        text += digits[i];
        if (const std::size_t left = digits.size() - i - 1; left > 0 && left % 3 == 0) {
            text += ',';
        }
    }
    return text;
}

// The figures the docs quote, one "name value" a line.
std::string Facts() {
    const std::pair<const char*, std::string> facts[] = {
        {"version", LUMORA_VERSION},
        {"hostVersion", LUMORA_HOST_VERSION},
        {"maxFileKiB", std::to_string(MaxConfigBytes >> 10)},
        {"maxDepth", std::to_string(MaxConfigDepth)},
        {"maxEntries", std::to_string(MaxEntries)},
        {"maxEntriesLoaded", std::to_string(MaxEntries + std::size(ForcedPresetCommands))},
        {"maxCommandBytes", std::to_string(MaxCommandBytes)},
        {"maxTextBytes", std::to_string(MaxStringBytes)},
        {"largestValidBytes", WithCommas(LargestValidFile(false).size())},
        {"largestValidEscapedBytes", WithCommas(LargestValidFile(true).size())},
    };
    std::string lines;
    for (const auto& [name, value] : facts) {
        lines += std::string(name) + " " + value + "\n";
    }
    return lines;
}

int Main(int argc, char** argv) {
    const std::string command = argc == 2 ? argv[1] : "";
    if (command == "keys") {
        std::cout << GuideKeyTable();
        return 0;
    }
    if (command == "facts") {
        std::cout << Facts();
        return 0;
    }
    std::cerr << Usage;
    return command == "--help" ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) { return RunTool("lumora-docs", Main, argc, argv); }
