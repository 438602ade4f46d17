#pragma once
// The configuration record, its compiled-in values and the four built-in presets.

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Lumora {

// Key names of the preset levels, in level order.
inline constexpr std::array<std::string_view, 4> PresetLevelNames = {"low", "medium", "high", "epic"};

// Console command lines ("r.ShadowQuality 1"), sent one per remote call, in order.
using CommandList = std::vector<std::string>;
using PresetMap = std::unordered_map<std::string, CommandList>;

struct PluginConfig {
    std::vector<std::string> ChatCommands;
    PresetMap Presets;  // exactly "low", "medium", "high", "epic"
    std::string DefaultPreset;
    CommandList OffCommands;
    std::string Sender;
    std::string EnabledMessage;
    std::string DisabledMessage;
    std::string UsageMessage;
    std::string HelpMessage;
    bool LogUsage = true;

    friend bool operator==(const PluginConfig&, const PluginConfig&) = default;
};

// Letter case of one byte as the C locale has it: only A to Z and a to z change, whatever the
// process's locale and whatever the byte's sign.
inline constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// How a preset is shown to people: "medium" as "Medium".
inline std::string PresetDisplayName(const std::string& name) {
    std::string shown = name;
    if (!shown.empty()) {
        shown[0] = AsciiUpper(shown[0]);
    }
    return shown;
}

// An alias that begins with a letter, a digit or any non-ASCII character is a word a player could
// begin an ordinary sentence with ("fps"); one that begins with ASCII punctuation ("/fps") is a
// command. Word aliases must not swallow chat, so they are not registered as chat commands.
inline bool IsWordAlias(std::string_view alias) {
    if (alias.empty()) {
        return false;
    }
    const char first = AsciiLower(alias[0]);
    return static_cast<unsigned char>(first) >= 0x80 || (first >= '0' && first <= '9') ||
           (first >= 'a' && first <= 'z');
}

PluginConfig BuiltInConfig();
PresetMap BuiltInPresets();

// The one process-wide configuration: built in at library load, replaced as a whole in Plugin_Init.
extern PluginConfig CurrentConfig;

}  // namespace Lumora
