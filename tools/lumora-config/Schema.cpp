#include "lumora-config/Schema.h"

#include <string>

#include "config/ConfigLoader.h"
#include "config/PluginConfig.h"

namespace Lumora {
namespace {

using Schema = nlohmann::ordered_json;

std::string Number(std::size_t value) { return std::to_string(value); }

// A list of console commands or aliases, with at least least entries of at most bytes bytes.
Schema List(std::size_t least, std::size_t bytes, const std::string& description, const CommandList& builtIn) {
    return {{"type", "array"},
            {"minItems", least},
            {"maxItems", MaxEntries},
            {"items", {{"type", "string"}, {"minLength", 1}, {"maxLength", bytes}}},
            {"description", description},
            {"default", builtIn}};
}

Schema Text(std::size_t bytes, const std::string& description, const std::string& builtIn) {
    return {{"type", "string"}, {"maxLength", bytes}, {"description", description}, {"default", builtIn}};
}

// "^([Ll][Oo][Ww]|...)$": the preset names in any letter case.
std::string AnyCasePattern() {
    std::string pattern = "^(";
    for (std::size_t i = 0; i < PresetLevelNames.size(); ++i) {
        pattern += i > 0 ? "|" : "";
        for (char c : PresetLevelNames[i]) {
            pattern += std::string("[") + static_cast<char>(c - 'a' + 'A') + c + "]";
        }
    }
    return pattern + ")$";
}

// The items, each as shown, with separator between them and last before the last of them.
template <typename Items, typename Shown>
std::string Joined(const Items& items, std::string_view separator, std::string_view last, Shown shown) {
    std::string text;
    std::size_t i = 0;
    for (const auto& item : items) {
        text += std::string(i == 0 ? "" : i + 1 == std::size(items) ? last : separator) + shown(item);
        ++i;
    }
    return text;
}

std::string AsIs(std::string_view text) { return std::string(text); }

// "low, medium, high or epic"
std::string LevelNames() { return Joined(PresetLevelNames, ", ", " or ", AsIs); }

// "r.BloomQuality 0, ... and r.Fog 0"
std::string ForcedCommands() { return Joined(ForcedPresetCommands, ", ", " and ", AsIs); }

}  // namespace

std::string FillIn(std::string_view text, const ConfigKey& key) {
    const PluginConfig builtIn = BuiltInConfig();
    const bool list = key.kind == KeyKind::Aliases || key.kind == KeyKind::Commands;
    const std::pair<std::string_view, std::string> values[] = {
        {"{entries}", Number(MaxEntries)},        {"{commandBytes}", Number(MaxBytesOf(key))},
        {"{textBytes}", Number(MaxBytesOf(key))}, {"{levels}", LevelNames()},
        {"{forced}", ForcedCommands()},           {"{count}", list ? Number(ListOf(builtIn, key).size()) : ""},
    };
    std::string filled(text);
    for (const auto& [name, value] : values) {
        for (auto at = filled.find(name); at != std::string::npos; at = filled.find(name, at + value.size())) {
            filled.replace(at, name.size(), value);
        }
    }
    return filled;
}

Schema ConfigSchema() {
    const PluginConfig builtIn = BuiltInConfig();
    Schema properties = {
        {"$schema", {{"type", "string"}, {"description", "This schema, for editors; ignored by the plugin."}}}};
    for (const ConfigKey& key : ConfigKeyTable) {
        const std::string description = FillIn(key.description, key);
        Schema& property = properties[std::string(key.name)];
        switch (key.kind) {
            case KeyKind::Aliases:
            case KeyKind::Commands:
                property = List(key.fewestEntries, MaxBytesOf(key), description, ListOf(builtIn, key));
                break;
            case KeyKind::PresetName: {
                property =
                    Text(MaxBytesOf(key), description, builtIn.*std::get<std::string PluginConfig::*>(key.field));
                Schema names = Schema::array();
                for (std::string_view level : PresetLevelNames) {
                    names.push_back(std::string(level));
                }
                property["anyOf"] = Schema::array();
                property["anyOf"].push_back({{"enum", names}});
                property["anyOf"].push_back({{"pattern", AnyCasePattern()}});
                break;
            }
            case KeyKind::Presets:
                property = {{"type", "object"},
                            {"additionalProperties", false},
                            {"description", description},
                            {"properties", Schema::object()}};
                for (std::string_view level : PresetLevelNames) {
                    const std::string name(level);
                    property["properties"][name] =
                        List(1, MaxBytesOf(key), "The " + name + " preset's console commands, sent in order.",
                             builtIn.Presets.at(name));
                    property["default"][name] = builtIn.Presets.at(name);
                }
                break;
            case KeyKind::Text:
                property =
                    Text(MaxBytesOf(key), description, builtIn.*std::get<std::string PluginConfig::*>(key.field));
                break;
            case KeyKind::Boolean:
                property = {{"type", "boolean"},
                            {"description", description},
                            {"default", builtIn.*std::get<bool PluginConfig::*>(key.field)}};
                break;
        }
    }
    return {{"$schema", "https://json-schema.org/draft/2020-12/schema"},
            {"$id", "urn:lumora:config"},
            {"title", "Lumora config.json"},
            {"description",
             "Configuration of the Lumora plugin, read once at start-up from ArkApi/Plugins/Lumora/config.json. Every "
             "key is optional; an absent key keeps its built-in value. Any fault makes the plugin log the reason and "
             "run on the built-in configuration. Lengths are limits in bytes of UTF-8: a text of many non-ASCII "
             "characters can pass an editor's character count and still be too long. Keys that begin with _ are "
             "comments."},
            {"type", "object"},
            {"additionalProperties", false},
            {"patternProperties", {{"^_", {{"description", "A comment; ignored by the plugin."}}}}},
            {"properties", properties}};
}

namespace {

// A cell of a Markdown table: a '|' would end it.
std::string Cell(std::string text) {
    for (auto at = text.find('|'); at != std::string::npos; at = text.find('|', at + 2)) {
        text.insert(at, "\\");
    }
    return text;
}

std::string Quoted(const std::string& text) { return nlohmann::json(text).dump(); }

}  // namespace

std::string GuideKeyTable() {
    const PluginConfig builtIn = BuiltInConfig();
    std::string table = "| Key | What it does | Type | Limits | Built-in value |\n|---|---|---|---|---|\n";
    for (const ConfigKey& key : ConfigKeyTable) {
        std::string type, limits, value;
        const std::string more = key.limits.empty() ? "" : "; " + FillIn(key.limits, key);
        switch (key.kind) {
            case KeyKind::Aliases:
            case KeyKind::Commands: {
                type = "array of strings";
                limits =
                    FillIn(Number(key.fewestEntries) + " to {entries} entries, each 1 to {commandBytes} bytes", key);
                value = "`[" + Joined(ListOf(builtIn, key), ", ", ", ", Quoted) + "]`";
                break;
            }
            case KeyKind::PresetName:
                type = "string";
                limits = FillIn("{levels}, any letter case; at most {textBytes} bytes", key);
                value = "`" + Quoted(builtIn.*std::get<std::string PluginConfig::*>(key.field)) + "`";
                break;
            case KeyKind::Presets: {
                type = "object of arrays";
                const std::string members = Joined(PresetLevelNames, ", ", ", ", [](std::string_view level) {
                    return "`" + std::string(level) + "`";
                });
                limits =
                    FillIn("members " + members + ", each 1 to {entries} strings of 1 to {commandBytes} bytes", key);
                break;
            }
            case KeyKind::Text:
                type = "string";
                limits = FillIn("at most {textBytes} bytes", key);
                value = "`" + Quoted(builtIn.*std::get<std::string PluginConfig::*>(key.field)) + "`";
                break;
            case KeyKind::Boolean:
                type = "boolean";
                limits = "`true` or `false`";
                value = builtIn.*std::get<bool PluginConfig::*>(key.field) ? "`true`" : "`false`";
                break;
        }
        if (!key.builtInShown.empty()) {
            value = FillIn(key.builtInShown, key);
        }
        // What it does: the description's first sentence, whose limits the next columns give.
        const std::string description = FillIn(key.description, key);
        const auto end = description.find(". ");
        const std::string does = end == std::string::npos ? description : description.substr(0, end + 1);
        table += "| `" + std::string(key.name) + "` | " + Cell(does) + " | " + type + " | " + Cell(limits + more) +
                 " | " + Cell(value) + " |\n";
    }
    return table;
}

}  // namespace Lumora
