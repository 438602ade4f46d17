#include "config/ConfigLoader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <Tools.h>

namespace Lumora {
namespace {

constexpr std::size_t MaxCommandBytes = 512;
constexpr std::size_t MaxStringBytes = 1024;
constexpr std::size_t MaxEntries = 64;

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
            Fail(key + " contains a command longer than 512 bytes");
        }
        list.push_back(text);
        if (list.size() > MaxEntries) {
            Fail(key + " cannot contain more than 64 entries");
        }
    }
    if (list.empty() && !allowEmpty) {
        Fail(key + " cannot be empty");
    }
    return list;
}

// The length of the valid UTF-8 sequence at text[i], or 0 when none begins there.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

std::string HexByte(unsigned char byte) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    return std::string{'\\', 'x', Digits[byte >> 4], Digits[byte & 0xF]};
}

// The first bytes of text[from, end), not into the middle of a character, and a mark of the cut.
std::string Cut(const std::string& text, std::size_t from, std::size_t end, std::size_t kept) {
    while (kept > 0 && (static_cast<unsigned char>(text[from + kept]) & 0xC0) == 0x80) {
        --kept;
    }
    return text.substr(from, kept) + "... (cut: " + std::to_string(end - from) + " bytes in all)";
}

}  // namespace

std::string EscapeText(std::string_view text, bool controls) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8SequenceAt(text, i);
        if (length == 0) {
            shown += HexByte(byte);
            ++i;
            continue;
        }
        if (controls && (byte < 0x20 || byte == 0x7F)) {
            switch (byte) {
                case '\n':
                    shown += "\\n";
                    break;
                case '\t':
                    shown += "\\t";
                    break;
                case '\r':
                    shown += "\\r";
                    break;
                default:
                    shown += HexByte(byte);
            }
        } else {
            shown.append(text.substr(i, length));
        }
        i += length;
    }
    return shown;
}

std::string ConfigFaultText(const std::string& what) {
    // The JSON library quotes what it last read: "...; last read: '<token>'", perhaps followed by
    // "; expected ...". A token can be as long as the file.
    static constexpr std::string_view Quote = "last read: '";
    static constexpr std::size_t KeptToken = 64;
    static constexpr std::size_t KeptText = 1024;
    std::string text = what;
    if (const auto start = text.find(Quote); start != std::string::npos) {
        const std::size_t from = start + Quote.size();
        std::size_t end = text.rfind("'; expected ");
        if (end == std::string::npos || end < from) {
            end = text.rfind('\'');
        }
        if (end != std::string::npos && end >= from && end - from > KeptToken) {
            text = text.substr(0, from) + Cut(text, from, end, KeptToken) + text.substr(end);
        }
    }
    if (text.size() > KeptText) {
        text = Cut(text, 0, text.size(), KeptText);
    }
    return EscapeText(text, false);
}

std::string GetConfigPath() { return AsaApi::Tools::GetCurrentDir() + "/ArkApi/Plugins/Lumora/config.json"; }

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
        Fail(key + " cannot be longer than 1024 bytes");
    }
    return text;
}

PresetMap ReadPresets(const nlohmann::json& object, const PresetMap& current) {
    auto presets = object.find("Presets");
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

void ApplyForcedCommands(CommandList& list) {
    for (std::string_view forced : ForcedPresetCommands) {
        const std::string prefix(forced.substr(0, forced.find(' ') + 1));  // "r.Fog "
        std::erase_if(list, [&](const std::string& command) { return command.starts_with(prefix); });
        list.emplace_back(forced);
    }
}

PluginConfig LoadConfig() { return LoadConfigFrom(GetConfigPath()); }

std::ifstream OpenConfigFile(const std::string& path) {
    std::error_code error;
    std::ifstream file;
    // A folder opens as an empty stream here; it is no file to read.
    if (!std::filesystem::is_directory(path, error)) {
        file.open(path, std::ios::binary);
    }
    if (!file.is_open()) {
        Fail("could not open " + path);
    }
    return file;
}

PluginConfig LoadConfigFrom(const std::string& path) {
    std::ifstream file = OpenConfigFile(path);
    return LoadConfigFromStream(file);
}

PluginConfig LoadConfigFromStream(std::istream& input) {
    // Reads the first complete value only; a leading byte-order mark is skipped, comments are errors.
    nlohmann::json root;
    input >> root;
    return LoadConfigFromJson(root);
}

PluginConfig LoadConfigFromJson(const nlohmann::json& root) {
    PluginConfig config = BuiltInConfig();
    if (!root.is_object()) {
        Fail("config.json must contain a JSON object");
    }

    config.ChatCommands = ReadStringArray(root, "ChatCommands", config.ChatCommands, false);

    std::string defaultPreset = ReadString(root, "DefaultPreset", config.DefaultPreset);
    std::transform(defaultPreset.begin(), defaultPreset.end(), defaultPreset.begin(), AsciiLower);
    if (config.Presets.count(defaultPreset) == 0) {
        Fail("DefaultPreset must be Low, Medium, High, or Epic");
    }
    config.DefaultPreset = std::move(defaultPreset);

    CommandList onCommands = ReadStringArray(root, "OnCommands", config.Presets.at(config.DefaultPreset), false);
    config.Presets = ReadPresets(root, config.Presets);
    if (!root.contains("Presets")) {
        config.Presets[config.DefaultPreset] = std::move(onCommands);
    }
    for (auto& [name, list] : config.Presets) {
        ApplyForcedCommands(list);
    }

    config.OffCommands = ReadStringArray(root, "OffCommands", config.OffCommands, true);
    config.Sender = ReadString(root, "Sender", config.Sender);
    config.EnabledMessage = ReadString(root, "EnabledMessage", config.EnabledMessage);
    const std::string disabled = ReadString(root, "DisabledMessage", config.DisabledMessage);
    config.DisabledMessage = ReadString(root, "BaselineMessage", disabled);
    config.UsageMessage = ReadString(root, "UsageMessage", config.UsageMessage);
    config.HelpMessage = ReadString(root, "HelpMessage", config.HelpMessage);

    if (auto logUsage = root.find("LogUsage"); logUsage != root.end()) {
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
