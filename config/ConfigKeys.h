#pragma once
// The keys of config.json, once: each is a row of ConfigKeyTable (config/ConfigKeys.cpp, which also
// checks the rows at compile time), in the order the loader reads and checks them (which decides
// the fault a file with several is reported for). The loader, the checker, `lumora-config show`,
// `init` and `schema`, and the admin guide's table of keys are made from it. A new key is its field
// of PluginConfig, its built-in value and its row.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "config/PluginConfig.h"

namespace Lumora {

// Limits of the values: entries of a list, bytes of a command, bytes of any other text (a row may
// set a lower one of its own).
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

// What a key sets: a field of PluginConfig, or one of these.
struct DefaultPresetList {};  // the default preset's list (which ends with the forced commands, as every preset does)
struct PresetLists {};        // Presets, the four lists by level
using KeyField = std::variant<CommandList PluginConfig::*, std::string PluginConfig::*, bool PluginConfig::*,
                              DefaultPresetList, PresetLists>;

// For std::visit over a KeyField with one case per alternative: a new alternative is a compile
// error wherever a case for it is missing.
template <typename... Cases>
struct Overloaded : Cases... {
    using Cases::operator()...;
};
template <typename... Cases>
Overloaded(Cases...) -> Overloaded<Cases...>;  // for compilers before aggregate deduction (clang 16)

struct ConfigKey {
    std::string_view name{};
    KeyKind kind;
    KeyField field;
    std::size_t fewestEntries = 1;  // Aliases, Commands
    // The most bytes of each entry (Aliases, Commands, Presets) or of the text; 0: MaxCommandBytes
    // for entries, MaxStringBytes for a text.
    std::size_t maxBytes = 0;
    // The key that wins over this one, which is still read so that files of earlier versions load.
    std::string_view replacedBy{};
    // The earlier key whose field this one sets too: the field is written and shown under that one.
    std::string_view aliasOf{};
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

// The rows, in the order the loader reads them.
extern const std::span<const ConfigKey> ConfigKeyTable;

// The row of a key, or null.
const ConfigKey* FindConfigKey(std::string_view name);

// The most bytes of each entry of a list key, or of a text key.
constexpr std::size_t MaxBytesOf(const ConfigKey& key) {
    if (key.maxBytes != 0) {
        return key.maxBytes;
    }
    const bool entries = key.kind == KeyKind::Aliases || key.kind == KeyKind::Commands || key.kind == KeyKind::Presets;
    return entries ? MaxCommandBytes : MaxStringBytes;
}

// True when the key's field is its own: not another key's (aliasOf), nor the default preset's list,
// which the presets hold. Each field is written and shown once, under the key that owns it.
constexpr bool OwnsField(const ConfigKey& key) {
    return key.aliasOf.empty() && !std::holds_alternative<DefaultPresetList>(key.field);
}

// The list a list key (Aliases, Commands) sets: its field, or the default preset's list.
const CommandList& ListOf(const PluginConfig& config, const ConfigKey& key);

}  // namespace Lumora
