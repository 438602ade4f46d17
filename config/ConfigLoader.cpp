#include "config/ConfigLoader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <Tools.h>

namespace Lumora {
namespace {

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }

std::vector<std::string> ReadStringArrayValue(const nlohmann::json& value, const std::string& key, bool allowEmpty) {
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
        if (text.size() > MaxCommandBytes) {
            Fail(key + " contains a command longer than " + std::to_string(MaxCommandBytes) + " bytes");
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

std::vector<std::string> ReadStringArray(const nlohmann::json& object, const std::string& key,
                                         const std::vector<std::string>& fallback, bool allowEmpty) {
    auto member = object.find(key);
    if (member == object.end()) {
        return fallback;
    }
    return ReadStringArrayValue(*member, key, allowEmpty);
}

std::string ReadString(const nlohmann::json& object, const std::string& key, const std::string& fallback) {
    auto member = object.find(key);
    if (member == object.end()) {
        return fallback;
    }
    if (!member->is_string()) {
        Fail(key + " must be a string");
    }
    const auto& text = member->get_ref<const std::string&>();
    if (text.size() > MaxStringBytes) {
        Fail(key + " cannot be longer than " + std::to_string(MaxStringBytes) + " bytes");
    }
    return text;
}

PresetMap ReadPresets(const nlohmann::json& object, const PresetMap& current) {
    auto presets = object.find(Key::Presets);
    if (presets == object.end()) {
        return current;
    }
    if (!presets->is_object()) {
        Fail("Presets must be an object of named command arrays");
    }
    PresetMap result = current;
    for (std::string_view level : PresetLevelNames) {
        const std::string name(level);
        if (auto member = presets->find(name); member != presets->end()) {
            // Messages about a preset's list name it "Commands", whichever preset it is.
            result[name] = ReadStringArrayValue(*member, "Commands", false);
        }
    }
    return result;
}

}  // namespace

std::string GetConfigPath() { return AsaApi::Tools::GetCurrentDir() + "/ArkApi/Plugins/Lumora/config.json"; }

void ApplyForcedCommands(CommandList& list) {
    for (std::string_view forced : ForcedPresetCommands) {
        std::erase_if(list, [&](const std::string& command) { return SetsSameVariable(command, forced); });
        list.emplace_back(forced);
    }
}

PluginConfig LoadConfig() { return LoadConfigFrom(GetConfigPath()); }

std::string ReadConfigFile(const std::string& path) {
    // Only a regular file is opened: a named pipe or a device in its place would block the game
    // thread, or never end.
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::is_regular_file(status)) {
        Fail("could not open " + path);
    }
    const auto tooLarge = [&] {
        Fail("could not read " + path + ": it is larger than " + std::to_string(MaxConfigBytes >> 20) + " MiB");
    };
    if (std::filesystem::file_size(path, error) > MaxConfigBytes && !error) {
        tooLarge();
    }
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        Fail("could not open " + path);
    }
    // The file may grow while it is read: no more than the limit is ever kept.
    std::string bytes;
    char buffer[1 << 16];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(file.gcount()));
        if (bytes.size() > MaxConfigBytes) {
            tooLarge();
        }
    }
    return bytes;
}

PluginConfig LoadConfigFrom(const std::string& path) { return LoadConfigFromText(ReadConfigFile(path)); }

PluginConfig LoadConfigFromText(const std::string& bytes) {
    // Reads the first complete value only; a leading byte-order mark is skipped, comments are errors.
    std::istringstream input(bytes);
    nlohmann::json root;
    input >> root;
    return LoadConfigFromJson(root);
}

PluginConfig LoadConfigFromJson(const nlohmann::json& root) {
    PluginConfig config = BuiltInConfig();
    if (!root.is_object()) {
        Fail("config.json must contain a JSON object");
    }

    config.ChatCommands = ReadStringArray(root, Key::ChatCommands, config.ChatCommands, false);

    std::string defaultPreset = ReadString(root, Key::DefaultPreset, config.DefaultPreset);
    std::transform(defaultPreset.begin(), defaultPreset.end(), defaultPreset.begin(), AsciiLower);
    if (config.Presets.count(defaultPreset) == 0) {
        Fail("DefaultPreset must be Low, Medium, High, or Epic");
    }
    config.DefaultPreset = std::move(defaultPreset);

    // Files written for versions before "Presets" set the default preset's list as "OnCommands".
    // It is still read, and checked, first, so that such a file reports the same fault it always
    // did; where "Presets" is given it is the newer word, and "OnCommands" gives way to it.
    CommandList onCommands = ReadStringArray(root, Key::OnCommands, config.Presets.at(config.DefaultPreset), false);
    config.Presets = ReadPresets(root, config.Presets);
    if (!root.contains(Key::Presets)) {
        config.Presets[config.DefaultPreset] = std::move(onCommands);
    }
    for (auto& [name, list] : config.Presets) {
        ApplyForcedCommands(list);
    }

    config.OffCommands = ReadStringArray(root, Key::OffCommands, config.OffCommands, true);
    config.Sender = ReadString(root, Key::Sender, config.Sender);
    config.EnabledMessage = ReadString(root, Key::EnabledMessage, config.EnabledMessage);
    // "DisabledMessage" is the older name of the baseline reply, kept so that earlier files still
    // load; "BaselineMessage" is the name admins are told to use, so when a file holds both it wins.
    const std::string disabled = ReadString(root, Key::DisabledMessage, config.DisabledMessage);
    config.DisabledMessage = ReadString(root, Key::BaselineMessage, disabled);
    config.UsageMessage = ReadString(root, Key::UsageMessage, config.UsageMessage);
    config.HelpMessage = ReadString(root, Key::HelpMessage, config.HelpMessage);

    if (auto logUsage = root.find(Key::LogUsage); logUsage != root.end()) {
        if (!logUsage->is_boolean()) {
            Fail("LogUsage must be true or false");
        }
        config.LogUsage = logUsage->get<bool>();
    }

    std::sort(config.ChatCommands.begin(), config.ChatCommands.end());
    config.ChatCommands.erase(std::unique(config.ChatCommands.begin(), config.ChatCommands.end()),
                              config.ChatCommands.end());
    return config;
}

}  // namespace Lumora
