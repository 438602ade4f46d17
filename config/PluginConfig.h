#pragma once
// The configuration record, its compiled-in values and the built-in presets, one for each level.

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Lumora {

// Key names of the preset levels, in level order: the one list of them. Everything else that
// names the levels or counts them follows it, or fails to build saying what to change.
inline constexpr std::array PresetLevelNames = {std::string_view("low"), std::string_view("medium"),
                                                std::string_view("high"), std::string_view("epic")};
// The fault of a DefaultPreset that names no level: every level, as people see it, in order.
inline constexpr std::string_view PresetNameFault = "must be Low, Medium, High, or Epic";

// True when text names every level of PresetLevelNames with a capital, in their order.
consteval bool NamesEveryLevel(std::string_view text) {
    std::size_t from = 0;
    for (std::string_view level : PresetLevelNames) {
        const char capital = static_cast<char>(level[0] - 'a' + 'A');
        while (from < text.size() && !(text[from] == capital && text.substr(from + 1).starts_with(level.substr(1)))) {
            ++from;
        }
        if (from == text.size()) {
            return false;
        }
    }
    return true;
}
static_assert(NamesEveryLevel(PresetNameFault), "PresetNameFault must name every level of PresetLevelNames, in order");

// Console command lines ("r.ShadowQuality 1"), sent one per remote call, in order.
using CommandList = std::vector<std::string>;
using PresetMap = std::unordered_map<std::string, CommandList>;

struct PluginConfig {
    std::vector<std::string> ChatCommands;
    PresetMap Presets;  // exactly the names of PresetLevelNames
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
