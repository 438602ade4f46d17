// The rows of the keys' table, and what the compiler checks of them.
#include "config/ConfigKeys.h"

#include <cstddef>

namespace Lumora {
namespace {

constexpr ConfigKey Rows[] = {
    {.name = Key::ChatCommands,
     .kind = KeyKind::Aliases,
     .field = &PluginConfig::ChatCommands,
     .shownAs = "chat aliases",
     .limits = "sorted and freed of duplicates",
     .description = "Chat commands that run the fps command, each registered with the host as typed (with or "
                    "without a leading /). 1 to {entries} entries of 1 to {commandBytes} bytes; sorted and freed of "
                    "duplicates when loaded."},
    {.name = Key::DefaultPreset,
     .kind = KeyKind::PresetName,
     .field = &PluginConfig::DefaultPreset,
     .shownAs = "default preset",
     .description = "The preset that /fps on and the bare /fps apply: {levels}, in any letter case (only A to Z are "
                    "lowered)."},
    {.name = Key::OnCommands,
     .kind = KeyKind::Commands,
     .field = DefaultPresetList{},
     .replacedBy = Key::Presets,
     .limits = "used only when `Presets` is absent",
     .builtInShown = "the default preset's list",
     .description = "Replaces the default preset's list, but only when \"Presets\" is absent (otherwise it is "
                    "checked and dropped). 1 to {entries} commands of 1 to {commandBytes} bytes. Built-in: the "
                    "default preset's own list."},
    {.name = Key::Presets,
     .kind = KeyKind::Presets,
     .field = PresetLists{},
     .builtInShown = "the four built-in lists (`lumora-config show`)",
     .description = "The command lists of the presets, by their lower-case names; a preset without a member keeps "
                    "its built-in list, and members with other names are ignored by the plugin. Each list holds 1 "
                    "to {entries} console commands (\"variable value\") of 1 to {commandBytes} bytes. Every loaded "
                    "preset ends with {forced}, which replace any entry for those variables."},
    {.name = Key::OffCommands,
     .kind = KeyKind::Commands,
     .field = &PluginConfig::OffCommands,
     .fewestEntries = 0,
     .builtInShown = "the {count}-command baseline",
     .description = "The baseline that /fps off sends: 0 to {entries} commands of 1 to {commandBytes} bytes. It is "
                    "a fixed set of values, not the player's former settings."},
    {.name = Key::Sender,
     .kind = KeyKind::Text,
     .field = &PluginConfig::Sender,
     .shownAs = "sender",
     .limits = "may be empty",
     .description = "The sender name shown with every chat reply; at most {textBytes} bytes, may be empty."},
    {.name = Key::EnabledMessage,
     .kind = KeyKind::Text,
     .field = &PluginConfig::EnabledMessage,
     .shownAs = "enabled message",
     .limits = "its first `{preset}` becomes the preset's name",
     .description = "Reply after a preset was applied; its first {preset} becomes the preset's name (Low, Medium, "
                    "High, Epic). At most {textBytes} bytes."},
    {.name = Key::DisabledMessage,
     .kind = KeyKind::Text,
     .field = &PluginConfig::DisabledMessage,
     .replacedBy = Key::BaselineMessage,
     .shownAs = "disabled message",
     .description = "Reply after the baseline was applied, unless BaselineMessage is present. At most {textBytes} "
                    "bytes."},
    {.name = Key::BaselineMessage,
     .kind = KeyKind::Text,
     .field = &PluginConfig::DisabledMessage,
     .aliasOf = Key::DisabledMessage,
     .limits = "wins over `DisabledMessage`",
     .builtInShown = "the `DisabledMessage` value",
     .description = "Reply after the baseline was applied; wins over DisabledMessage (both are checked). At most "
                    "{textBytes} bytes. Built-in: the DisabledMessage value."},
    {.name = Key::UsageMessage,
     .kind = KeyKind::Text,
     .field = &PluginConfig::UsageMessage,
     .shownAs = "usage message",
     .description = "Reply to an argument that is none of the command's words. At most {textBytes} bytes."},
    {.name = Key::HelpMessage,
     .kind = KeyKind::Text,
     .field = &PluginConfig::HelpMessage,
     .shownAs = "help message",
     .description = "Reply to /fps help. At most {textBytes} bytes."},
    {.name = Key::LogUsage,
     .kind = KeyKind::Boolean,
     .field = &PluginConfig::LogUsage,
     .shownAs = "log usage",
     .description = "When true, every applied preset and baseline writes a line naming the player's character to "
                    "the server's log."},
};

// ---- what must hold of the rows -----------------------------------------------------------------

constexpr bool SameField(const KeyField& a, const KeyField& b) {
    if (a.index() != b.index()) {
        return false;
    }
    return std::visit(Overloaded{
                          [&](CommandList PluginConfig::*field) { return field == std::get<0>(b); },
                          [&](std::string PluginConfig::*field) { return field == std::get<1>(b); },
                          [&](bool PluginConfig::*field) { return field == std::get<2>(b); },
                          [](DefaultPresetList) { return true; },
                          [](PresetLists) { return true; },
                      },
                      a);
}

constexpr const ConfigKey* Row(std::string_view name) {
    for (const ConfigKey& key : Rows) {
        if (key.name == name) {
            return &key;
        }
    }
    return nullptr;
}

// Each name once; replacedBy and aliasOf name rows; an alias comes after the key it is an alias
// of, sets the same field, and that key is no alias itself.
constexpr bool NamesHold() {
    for (std::size_t i = 0; i < std::size(Rows); ++i) {
        const ConfigKey& key = Rows[i];
        if (Row(key.name) != &key || (!key.replacedBy.empty() && Row(key.replacedBy) == nullptr)) {
            return false;
        }
        if (!key.aliasOf.empty()) {
            const ConfigKey* of = Row(key.aliasOf);
            if (of == nullptr || of >= &key || !of->aliasOf.empty() || !SameField(of->field, key.field)) {
                return false;
            }
        }
    }
    return true;
}
static_assert(NamesHold(), "a key named twice, or a replacedBy or aliasOf that names no earlier key of the same field");

// A field is set by one key, unless the other is said to be its alias: a row copied from another
// with its field left as it was would otherwise make a second name of that key.
constexpr bool FieldsSetOnce() {
    for (std::size_t i = 0; i < std::size(Rows); ++i) {
        for (std::size_t j = i + 1; j < std::size(Rows); ++j) {
            if (SameField(Rows[i].field, Rows[j].field) && Rows[j].aliasOf != Rows[i].name) {
                return false;
            }
        }
    }
    return true;
}
static_assert(FieldsSetOnce(), "two keys set one field: give the second one .aliasOf, or its own field");

// The kind says what the field must be.
constexpr bool KindFitsField(const ConfigKey& key) {
    switch (key.kind) {
        case KeyKind::Aliases:
            return std::holds_alternative<CommandList PluginConfig::*>(key.field);
        case KeyKind::Commands:
            return std::holds_alternative<CommandList PluginConfig::*>(key.field) ||
                   std::holds_alternative<DefaultPresetList>(key.field);
        case KeyKind::Presets:
            return std::holds_alternative<PresetLists>(key.field);
        case KeyKind::PresetName:
        case KeyKind::Text:
            return std::holds_alternative<std::string PluginConfig::*>(key.field);
        case KeyKind::Boolean:
            return std::holds_alternative<bool PluginConfig::*>(key.field);
    }
    return false;
}

// `lumora-config show` gives a line to each key that owns a single value or the aliases, and none
// to the command lists (its table shows them) or to an alias.
constexpr bool ShownWhereShowShowsIt(const ConfigKey& key) {
    bool line = false;
    switch (key.kind) {
        case KeyKind::Aliases:
        case KeyKind::PresetName:
        case KeyKind::Text:
        case KeyKind::Boolean:
            line = key.aliasOf.empty();
            break;
        case KeyKind::Commands:
        case KeyKind::Presets:
            line = false;
            break;
    }
    return line == !key.shownAs.empty();
}

constexpr bool EveryRow(bool (*holds)(const ConfigKey&)) {
    for (const ConfigKey& key : Rows) {
        if (!holds(key)) {
            return false;
        }
    }
    return true;
}
// A label of `show` once (else it prints it twice), names that differ in more than letter case (a
// file with both would set one field twice without a warning), and a description for the schema
// and the guide.
constexpr bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}
constexpr bool LabelsAndNamesDistinct() {
    for (std::size_t i = 0; i < std::size(Rows); ++i) {
        for (std::size_t j = i + 1; j < std::size(Rows); ++j) {
            if ((!Rows[i].shownAs.empty() && Rows[i].shownAs == Rows[j].shownAs) ||
                SameIgnoringCase(Rows[i].name, Rows[j].name)) {
                return false;
            }
        }
    }
    return true;
}
static_assert(LabelsAndNamesDistinct(), "two keys with one .shownAs, or two names that differ only in letter case");
constexpr bool Described(const ConfigKey& key) { return !key.description.empty(); }
static_assert(EveryRow(Described), "a key without a .description: the schema and the guide would show it empty");
static_assert(EveryRow(KindFitsField), "a row's field is not of its kind");
static_assert(EveryRow(ShownWhereShowShowsIt),
              "a key's .shownAs: set it for a single value or the aliases, not for a "
              "command list or an alias");

// Every field of PluginConfig is some key's: a field added without its row would be a key that
// does not exist. The fields are counted as the initializers an aggregate takes, a technique MSVC
// has miscompiled: held where gcc and clang compile this same table (every Linux build), never
// where only MSVC could be wrong.
#if !defined(_MSC_VER) || defined(__clang__)
struct AnyField {
    template <typename T>
    operator T&() const;
};
template <typename Record, typename... Fields>
constexpr std::size_t FieldCount() {
    if constexpr (requires { Record{Fields{}..., AnyField{}}; }) {
        return FieldCount<Record, Fields..., AnyField>();
    } else {
        return sizeof...(Fields);
    }
}
constexpr std::size_t OwnedFields() {
    std::size_t count = 0;
    for (const ConfigKey& key : Rows) {
        count += OwnsField(key) ? 1 : 0;
    }
    return count;
}
static_assert(FieldCount<PluginConfig>() == OwnedFields(), "a field of PluginConfig has no row in the keys' table");
#endif

}  // namespace

const std::span<const ConfigKey> ConfigKeyTable{Rows};

const ConfigKey* FindConfigKey(std::string_view name) { return Row(name); }

const CommandList& ListOf(const PluginConfig& config, const ConfigKey& key) {
    if (const auto* field = std::get_if<CommandList PluginConfig::*>(&key.field)) {
        return config.**field;
    }
    return config.Presets.at(config.DefaultPreset);
}

}  // namespace Lumora
