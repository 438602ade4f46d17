#include "config/ConfigLoader.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>

#include <Tools.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// Follows how deep arrays and objects nest, and stops at the first level past the limit.
struct DepthLimit {
    using json = nlohmann::json;
    std::size_t depth = 0;
    bool tooDeep = false;

    bool Enter() {
        tooDeep = ++depth > MaxConfigDepth;
        return !tooDeep;
    }
    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(json::number_integer_t) { return true; }
    bool number_unsigned(json::number_unsigned_t) { return true; }
    bool number_float(json::number_float_t, const json::string_t&) { return true; }
    bool string(json::string_t&) { return true; }
    bool binary(json::binary_t&) { return true; }
    bool start_object(std::size_t) { return Enter(); }
    bool key(json::string_t&) { return true; }
    bool end_object() { return --depth, true; }
    bool start_array(std::size_t) { return Enter(); }
    bool end_array() { return --depth, true; }
    bool parse_error(std::size_t, const std::string&, const json::exception&) { return false; }
};

// The line and column (from 1, in bytes) of the bracket that opens the given level. The text
// before it has parsed, so brackets are counted outside strings only.
std::pair<std::size_t, std::size_t> PositionOfLevel(std::string_view text, std::size_t level) {
    std::size_t depth = 0, line = 1, lineStart = 0;
    bool inString = false, escaped = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            lineStart = i + 1;
        } else if (inString) {
            inString = escaped || c != '"';
            escaped = !escaped && c == '\\';
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth == level) {
                return {line, i - lineStart + 1};
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return {line, text.size() - lineStart + 1};
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
    const auto tooLarge = [&] {
        Fail("could not read " + path + ": it is larger than " + std::to_string(MaxConfigBytes >> 20) + " MiB");
    };
    // What is opened is checked, not the path before it: a named pipe swapped in between the two
    // would block the game thread for ever. Opening never blocks, and only a regular file is read.
    std::string bytes;
    char buffer[1 << 16];
#if defined(_WIN32)
    const HANDLE file = CreateFileW(std::filesystem::path(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Fail("could not open " + path);
    }
    const std::unique_ptr<void, decltype(&CloseHandle)> closer(file, &CloseHandle);
    if (GetFileType(file) != FILE_TYPE_DISK) {
        Fail("could not open " + path);
    }
    for (DWORD read = 0; ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0;) {
        bytes.append(buffer, read);
        if (bytes.size() > MaxConfigBytes) {
            tooLarge();
        }
    }
#else
    const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file < 0) {
        Fail("could not open " + path);
    }
    const struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{file};
    struct stat status {};
    if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        Fail("could not open " + path);
    }
    for (ssize_t read; (read = ::read(file, buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, static_cast<std::size_t>(read));
        // The file may grow while it is read: no more than the limit is ever kept.
        if (bytes.size() > MaxConfigBytes) {
            tooLarge();
        }
    }
#endif
    return bytes;
}

PluginConfig LoadConfigFrom(const std::string& path) { return LoadConfigFromText(ReadConfigFile(path)); }

void CheckNesting(const std::string& bytes) {
    // The library builds the whole tree before it finds a fault, so a file of nothing but "[" would
    // cost start-up seconds and gigabytes: a first pass that builds nothing stops at the first level
    // too deep. A syntax error it meets is left to the parse, which reports it in the library's
    // own words.
    DepthLimit limit;
    if (!nlohmann::json::sax_parse(bytes, &limit, nlohmann::json::input_format_t::json, false, false) &&
        limit.tooDeep) {
        const auto [line, column] = PositionOfLevel(bytes, MaxConfigDepth + 1);
        Fail("config.json nests arrays and objects deeper than " + std::to_string(MaxConfigDepth) + " levels at line " +
             std::to_string(line) + ", column " + std::to_string(column));
    }
}

PluginConfig LoadConfigFromText(const std::string& bytes) {
    CheckNesting(bytes);
    // Reads the first complete value only; a leading byte-order mark is skipped, comments are errors.
    std::istringstream input(bytes);
    nlohmann::json root;
    input >> root;
    return LoadConfigFromJson(root);
}

ValidatedConfig ValidateConfig(const nlohmann::json& root) {
    ValidatedConfig read{BuiltInConfig(), std::nullopt};
    PluginConfig& config = read.config;
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
        read.onCommands = std::move(onCommands);
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
    return read;
}

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

PluginConfig LoadConfigFromJson(const nlohmann::json& root) { return NormaliseConfig(ValidateConfig(root)); }

}  // namespace Lumora
