#pragma once
// What the config checker finds in a file beyond the plugin's own checks: the parse in one pass,
// the encoding a broken file seems to have, and warnings about what will not do what the admin
// meant. None of it changes what the plugin does with the file.

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace Lumora {

struct ParsedFile {
    nlohmann::json root;                // the first complete value, as the plugin reads it
    std::vector<std::string> warnings;  // keys given twice, content after the value
    std::optional<std::string> error;   // the JSON library's parse error, as the plugin gets it
};

// Parses config.json's bytes once, as the plugin does.
ParsedFile ParseConfigText(const std::string& bytes);

// The encoding a file that is not UTF-8 seems to be in, as a hint line; nothing for UTF-8.
std::optional<std::string> EncodingHint(const std::string& bytes);

// Warnings about a parsed file's content, each naming the key and entry.
std::vector<std::string> ContentWarnings(const nlohmann::json& root);

}  // namespace Lumora
