#pragma once
// The keys of config.json, once: each is a row of ConfigKeyTable, in the order the loader reads and
// checks them (which decides the fault a file with several is reported for). The loader, the
// checker, `lumora-config show`, `init` and `schema`, and the admin guide's table of keys are made
// from it. A new key is its field of PluginConfig, its built-in value and its row.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "config/PluginConfig.h"

namespace Lumora {

// Limits of the values: entries of a list, bytes of a command, bytes of any other text.
inline constexpr std::size_t MaxEntries = 64;
inline constexpr std::size_t MaxCommandBytes = 512;
inline constexpr std::size_t MaxStringBytes = 1024;

// The names, for code that reads one key by name.
namespace Key {
inline constexpr char ChatCommands[] = "ChatCommands";
inline constexpr char DefaultPreset[] = "DefaultPreset";
inline constexpr char OnCommands[] = "OnCommands";
inline constexpr char Presets[] = "Presets";
inline constexpr char OffCommands[] = "OffCommands";
inline constexpr char Sender[] = "Sender";
inline constexpr char EnabledMessage[] = "EnabledMessage";
inline constexpr char DisabledMessage[] = "DisabledMessage";
inline constexpr char BaselineMessage[] = "BaselineMessage";
inline constexpr char UsageMessage[] = "UsageMessage";
inline constexpr char HelpMessage[] = "HelpMessage";
inline constexpr char LogUsage[] = "LogUsage";
}  // namespace Key

// What a key's value is. Code that handles keys switches over it with no default, so that the
// compiler names every place a new kind must be handled.
enum class KeyKind {
    Aliases,     // an array of chat aliases
    Commands,    // an array of console commands
    PresetName,  // a text naming a preset level, in any letter case
    Presets,     // an object of command arrays by preset level
    Text,        // a text
    Boolean,     // true or false
};

struct ConfigKey {
    std::string_view name{};
    KeyKind kind;
    // The field it sets; a Commands key without one sets the default preset's list (and so ends
    // with the forced commands, as every preset does).
    CommandList PluginConfig::*commands = nullptr;
    std::string PluginConfig::*text = nullptr;
    bool PluginConfig::*flag = nullptr;
    std::size_t fewestEntries = 1;  // Aliases, Commands
    // The key that wins over this one, which is still read so that files of earlier versions load.
    std::string_view replacedBy{};
    // Its line in `lumora-config show`; none for the lists, which the table there shows.
    std::string_view shownAs{};
    // What the guide's table says beyond the kind's own limits.
    std::string_view limits{};
    // How the guide's table shows the built-in value, where not as the value itself.
    std::string_view builtInShown{};
    // The schema's description. {entries}, {commandBytes}, {textBytes}, {levels}, {forced} and
    // {count} (the built-in list's entries) are filled in.
    std::string_view description{};
};

inline constexpr ConfigKey ConfigKeyTable[] = {
    {.name = Key::ChatCommands,
     .kind = KeyKind::Aliases,
     .commands = &PluginConfig::ChatCommands,
     .shownAs = "chat aliases",
     .limits = "sorted and freed of duplicates",
     .description = "Chat commands that run the fps command, each registered with the host as typed (with or "
                    "without a leading /). 1 to {entries} entries of 1 to {commandBytes} bytes; sorted and freed of "
                    "duplicates when loaded."},
    {.name = Key::DefaultPreset,
     .kind = KeyKind::PresetName,
     .text = &PluginConfig::DefaultPreset,
     .shownAs = "default preset",
     .description = "The preset that /fps on and the bare /fps apply: {levels}, in any letter case (only A to Z are "
                    "lowered)."},
    {.name = Key::OnCommands,
     .kind = KeyKind::Commands,
     .replacedBy = Key::Presets,
     .limits = "used only when `Presets` is absent",
     .builtInShown = "the default preset's list",
     .description = "Replaces the default preset's list, but only when \"Presets\" is absent (otherwise it is "
                    "checked and dropped). 1 to {entries} commands of 1 to {commandBytes} bytes. Built-in: the "
                    "default preset's own list."},
    {.name = Key::Presets,
     .kind = KeyKind::Presets,
     .builtInShown = "the four built-in lists (`lumora-config show`)",
     .description = "The command lists of the presets, by their lower-case names; a preset without a member keeps "
                    "its built-in list, and members with other names are ignored by the plugin. Each list holds 1 "
                    "to {entries} console commands (\"variable value\") of 1 to {commandBytes} bytes. Every loaded "
                    "preset ends with {forced}, which replace any entry for those variables."},
    {.name = Key::OffCommands,
     .kind = KeyKind::Commands,
     .commands = &PluginConfig::OffCommands,
     .fewestEntries = 0,
     .builtInShown = "the {count}-command baseline",
     .description = "The baseline that /fps off sends: 0 to {entries} commands of 1 to {commandBytes} bytes. It is "
                    "a fixed set of values, not the player's former settings."},
    {.name = Key::Sender,
     .kind = KeyKind::Text,
     .text = &PluginConfig::Sender,
     .shownAs = "sender",
     .limits = "may be empty",
     .description = "The sender name shown with every chat reply; at most {textBytes} bytes, may be empty."},
    {.name = Key::EnabledMessage,
     .kind = KeyKind::Text,
     .text = &PluginConfig::EnabledMessage,
     .shownAs = "enabled message",
     .limits = "its first `{preset}` becomes the preset's name",
     .description = "Reply after a preset was applied; its first {preset} becomes the preset's name (Low, Medium, "
                    "High, Epic). At most {textBytes} bytes."},
    {.name = Key::DisabledMessage,
     .kind = KeyKind::Text,
     .text = &PluginConfig::DisabledMessage,
     .replacedBy = Key::BaselineMessage,
     .shownAs = "disabled message",
     .description = "Reply after the baseline was applied, unless BaselineMessage is present. At most {textBytes} "
                    "bytes."},
    {.name = Key::BaselineMessage,
     .kind = KeyKind::Text,
     .text = &PluginConfig::DisabledMessage,
     .limits = "wins over `DisabledMessage`",
     .builtInShown = "the `DisabledMessage` value",
     .description = "Reply after the baseline was applied; wins over DisabledMessage (both are checked). At most "
                    "{textBytes} bytes. Built-in: the DisabledMessage value."},
    {.name = Key::UsageMessage,
     .kind = KeyKind::Text,
     .text = &PluginConfig::UsageMessage,
     .shownAs = "usage message",
     .description = "Reply to an argument that is none of the command's words. At most {textBytes} bytes."},
    {.name = Key::HelpMessage,
     .kind = KeyKind::Text,
     .text = &PluginConfig::HelpMessage,
     .shownAs = "help message",
     .description = "Reply to /fps help. At most {textBytes} bytes."},
    {.name = Key::LogUsage,
     .kind = KeyKind::Boolean,
     .flag = &PluginConfig::LogUsage,
     .shownAs = "log usage",
     .description = "When true, every applied preset and baseline writes a line naming the player's character to "
                    "the server's log."},
};

// Every key that config.json may hold, in the order the loader reads them.
inline constexpr auto ConfigKeys = [] {
    std::array<std::string_view, std::size(ConfigKeyTable)> names{};
    std::transform(std::begin(ConfigKeyTable), std::end(ConfigKeyTable), names.begin(),
                   [](const ConfigKey& key) { return key.name; });
    return names;
}();

// The row of a key, or null.
constexpr const ConfigKey* FindConfigKey(std::string_view name) {
    for (const ConfigKey& key : ConfigKeyTable) {
        if (key.name == name) {
            return &key;
        }
    }
    return nullptr;
}

// True when an earlier key sets the same field (the newer name of an older key): the field is
// written and shown once, under the first.
constexpr bool SharesFieldWithEarlierKey(const ConfigKey& key) {
    for (const ConfigKey& earlier : ConfigKeyTable) {
        if (&earlier == &key) {
            return false;
        }
        if ((key.commands != nullptr && earlier.commands == key.commands) ||
            (key.text != nullptr && earlier.text == key.text) || (key.flag != nullptr && earlier.flag == key.flag)) {
            return true;
        }
    }
    return false;
}

}  // namespace Lumora
