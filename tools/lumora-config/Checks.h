#pragma once
// What the config checker finds in a file beyond the plugin's own checks: the parse in one pass,
// the encoding a broken file seems to have, and warnings about what will not do what the admin
// meant. None of it changes what the plugin does with the file.

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace Lumora {

// A file can hold a hundred thousand faults of one kind; the admin needs to see a few of them.
inline constexpr std::size_t MaxWarningsOfAKind = 64;

// Warnings in the order they were found, at most MaxWarningsOfAKind of each kind.
struct WarningList {
    struct Kind {
        std::size_t count = 0;
        std::size_t moreAt = 0;  // where the line that counts the rest goes
    };
    std::vector<std::string> lines;
    std::map<std::string, Kind> kinds;
};
void AddWarning(WarningList& list, const std::string& kind, std::string text);
// The lines to print, with "… and N more" after the last one shown of a kind that had more.
std::vector<std::string> WarningLines(const WarningList& list);

struct ParsedFile {
    nlohmann::json root;                   // the first complete value, as the plugin reads it
    WarningList warnings;                  // keys given twice, content after the value
    std::optional<std::string> error;      // the JSON library's parse error, as the plugin gets it
    std::optional<std::string> errorHint;  // where that error is, when the library does not say
};

// Parses config.json's bytes once, as the plugin does.
ParsedFile ParseConfigText(const std::string& bytes);

// The encoding a file that is not UTF-8 seems to be in, as a hint line; nothing for UTF-8.
std::optional<std::string> EncodingHint(const std::string& bytes);

// What a path that cannot be read as config.json is, as a hint line; nothing for a regular file.
std::optional<std::string> PathHint(const std::filesystem::path& path);

// Warnings about a parsed file's content, each naming the key and entry, added to warnings.
void ContentWarnings(const nlohmann::json& root, WarningList& warnings);

}  // namespace Lumora
