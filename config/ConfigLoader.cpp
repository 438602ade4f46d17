#include "config/ConfigLoader.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

#include "config/RegularFile.h"
#include "generated/Version.h"
#include "host/ShownText.h"

namespace Lumora {
namespace {

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }

std::vector<std::string> ReadStringArrayValue(const nlohmann::json& value, const std::string& key, bool allowEmpty,
                                              std::size_t maxBytes) {
    if (!value.is_array()) {
        Fail(key + " must be an array of strings");
    }
    std::vector<std::string> list;
    for (const auto& element : value) {
        if (!element.is_string()) {
            Fail(key + " must contain only strings");
        }
        const auto& text = element.get_ref<const std::string&>();
        if (text.empty()) {
            Fail(key + " cannot contain an empty string");
        }
        if (text.size() > maxBytes) {
            Fail(key + " contains a command longer than " + std::to_string(maxBytes) + " bytes");
        }
        list.push_back(text);
        if (list.size() > MaxEntries) {
            Fail(key + " cannot contain more than " + std::to_string(MaxEntries) + " entries");
        }
    }
    if (list.empty() && !allowEmpty) {
        Fail(key + " cannot be empty");
    }
    return list;
}

std::vector<std::string> ReadStringArray(const nlohmann::json& object, const ConfigKey& row,
                                         const std::vector<std::string>& fallback) {
    const std::string key(row.name);
    auto member = object.find(key);
    if (member == object.end()) {
        return fallback;
    }
    return ReadStringArrayValue(*member, key, row.fewestEntries == 0, MaxBytesOf(row));
}

std::string ReadString(const nlohmann::json& object, const ConfigKey& row, const std::string& fallback) {
    const std::string key(row.name);
    auto member = object.find(key);
    if (member == object.end()) {
        return fallback;
    }
    if (!member->is_string()) {
        Fail(key + " must be a string");
    }
    const auto& text = member->get_ref<const std::string&>();
    if (text.size() > MaxBytesOf(row)) {
        Fail(key + " cannot be longer than " + std::to_string(MaxBytesOf(row)) + " bytes");
    }
    return text;
}

PresetMap ReadPresets(const nlohmann::json& object, const ConfigKey& row, const PresetMap& current) {
    const std::string key(row.name);
    auto presets = object.find(key);
    if (presets == object.end()) {
        return current;
    }
    if (!presets->is_object()) {
        Fail(key + " must be an object of named command arrays");
    }
    PresetMap result = current;
    for (std::string_view level : PresetLevelNames) {
        const std::string name(level);
        if (auto member = presets->find(name); member != presets->end()) {
            // Messages about a preset's list name it "Commands", whichever preset it is.
            result[name] = ReadStringArrayValue(*member, "Commands", false, MaxBytesOf(row));
        }
    }
    return result;
}

}  // namespace

std::string ConfigPathIn(const std::string& serverFolder) {
    return serverFolder + "/" LUMORA_PLUGIN_FOLDER "/config.json";
}

void ApplyForcedCommands(CommandList& list) {
    for (std::string_view forced : ForcedPresetCommands) {
        std::erase_if(list, [&](const std::string& command) { return SetsSameVariable(command, forced); });
        list.emplace_back(forced);
    }
}

std::string ReadConfigFile(const std::filesystem::path& path) {
    return CheckedConfigBytes(ReadRegularFile(path, MaxConfigBytes), path);
}

std::string CheckedConfigBytes(std::optional<std::string> bytes, const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    const std::string shown(text.begin(), text.end());
    if (!bytes) {
        Fail("could not open " + shown);
    }
    if (bytes->size() > MaxConfigBytes) {
        Fail("could not read " + shown + ": it is larger than " + std::to_string(MaxConfigBytes >> 10) + " KiB");
    }
    return std::move(*bytes);
}

PluginConfig LoadConfigFrom(const std::string& path) { return LoadConfigFromText(ReadConfigFile(path)); }

PluginConfig LoadConfigFromText(const std::string& bytes) {
    ConfigText text = ReadConfigText(bytes, false);
    if (text.fault) {
        Fail(*text.fault);
    }
    return LoadConfigFromJson(text.root);
}

namespace {

// What the file gives, checked key by key in the order that decides which fault is reported.
struct ValidatedConfig {
    PluginConfig config;
    std::optional<CommandList> onCommands;  // a list for the default preset, given without "Presets"
};

ValidatedConfig ValidateConfig(const nlohmann::json& root) {
    ValidatedConfig read{BuiltInConfig(), std::nullopt};
    PluginConfig& config = read.config;
    if (!root.is_object()) {
        Fail("config.json must contain a JSON object");
    }
    // Key by key, in the table's order: the first fault in that order is the one reported. A key
    // read under an older name comes before the one that replaces it, which then wins.
    for (const ConfigKey& key : ConfigKeyTable) {
        const std::string name(key.name);
        std::visit(
            Overloaded{
                [&](CommandList PluginConfig::*list) { config.*list = ReadStringArray(root, key, config.*list); },
                [&](DefaultPresetList) {
                    // Files written before "Presets" set the default preset's list under this
                    // key: still read and checked, so that such a file reports the fault it
                    // always did, and used only where the newer key is absent.
                    CommandList list = ReadStringArray(root, key, ListOf(config, key));
                    if (!root.contains(std::string(key.replacedBy))) {
                        read.onCommands = std::move(list);
                    }
                },
                [&](PresetLists) { config.Presets = ReadPresets(root, key, config.Presets); },
                [&](std::string PluginConfig::*text) {
                    std::string value = ReadString(root, key, config.*text);
                    if (key.kind == KeyKind::PresetName) {
                        std::transform(value.begin(), value.end(), value.begin(), AsciiLower);
                        if (config.Presets.count(value) == 0) {
                            Fail(name + " " + std::string(PresetNameFault));
                        }
                    }
                    config.*text = std::move(value);
                },
                [&](bool PluginConfig::*flag) {
                    if (auto member = root.find(name); member != root.end()) {
                        if (!member->is_boolean()) {
                            Fail(name + " must be true or false");
                        }
                        config.*flag = member->get<bool>();
                    }
                },
            },
            key.field);
    }
    return read;
}

// What the file cannot control: the replaced default preset's list, every preset ending with the
// forced commands, the aliases sorted and without duplicates.
PluginConfig NormaliseConfig(ValidatedConfig read) {
    PluginConfig& config = read.config;
    if (read.onCommands) {
        config.Presets[config.DefaultPreset] = std::move(*read.onCommands);
    }
    for (auto& [name, list] : config.Presets) {
        ApplyForcedCommands(list);
    }
    std::sort(config.ChatCommands.begin(), config.ChatCommands.end());
    config.ChatCommands.erase(std::unique(config.ChatCommands.begin(), config.ChatCommands.end()),
                              config.ChatCommands.end());
    return std::move(config);
}

}  // namespace

PluginConfig LoadConfigFromJson(const nlohmann::json& root) { return NormaliseConfig(ValidateConfig(root)); }

}  // namespace Lumora
