// lumora-config: checks, shows and starts config.json with the plugin's own loading code.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "command/ChatReply.h"
#include "config/ConfigLoader.h"
#include "config/PluginConfig.h"

namespace fs = std::filesystem;
using nlohmann::json;
using namespace Lumora;

namespace {

const char* const Usage =
    "usage: lumora-config check FILE\n"
    "       lumora-config show [FILE] [--json]\n"
    "       lumora-config init [FILE] [--force]\n";

// The configuration in config.json's own form, which loads back to the same record.
json ToJson(const PluginConfig& config) {
    json presets = json::object();
    for (auto level : PresetLevelNames) {
        presets[std::string(level)] = config.Presets.at(std::string(level));
    }
    return json{{"ChatCommands", config.ChatCommands},
                {"DefaultPreset", config.DefaultPreset},
                {"Presets", presets},
                {"OffCommands", config.OffCommands},
                {"Sender", config.Sender},
                {"EnabledMessage", config.EnabledMessage},
                {"DisabledMessage", config.DisabledMessage},
                {"UsageMessage", config.UsageMessage},
                {"HelpMessage", config.HelpMessage},
                {"LogUsage", config.LogUsage}};
}

std::string Join(const std::vector<std::string>& items, const std::string& separator) {
    std::string out;
    for (const auto& item : items) {
        out += (out.empty() ? "" : separator) + item;
    }
    return out;
}

std::string Summary(const PluginConfig& config) {
    std::string presets;
    for (auto level : PresetLevelNames) {
        presets += (presets.empty() ? "" : ", ") + std::string(level) + " " +
                   std::to_string(config.Presets.at(std::string(level)).size());
    }
    return "valid: " + std::to_string(config.ChatCommands.size()) + " chat aliases (" +
           Join(config.ChatCommands, ", ") + "), default " + PresetDisplayName(config.DefaultPreset) +
           ", commands per preset: " + presets + ", baseline " + std::to_string(config.OffCommands.size()) +
           " commands";
}

// ---- warnings: never change what the plugin does ------------------------------------------------

std::string Trim(const std::string& text) {
    auto begin = text.find_first_not_of(" \t\r\n");
    auto end = text.find_last_not_of(" \t\r\n");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
    return text;
}

void WarnNearMisses(const json& object, const std::vector<std::string>& names, const std::string& where,
                    std::vector<std::string>& warnings) {
    for (const auto& [member, value] : object.items()) {
        if (std::find(names.begin(), names.end(), member) != names.end()) {
            continue;
        }
        for (const auto& name : names) {
            if (Lower(Trim(member)) == Lower(name)) {
                warnings.push_back(where + "member \"" + member + "\" is ignored: the key is \"" + name +
                                   "\" (letter case and spaces count)");
            }
        }
    }
}

void WarnCommands(const json& list, const std::string& where, bool preset, std::vector<std::string>& warnings) {
    if (!list.is_array()) {
        return;
    }
    std::set<std::string> seen;
    for (const auto& element : list) {
        if (!element.is_string()) {
            continue;
        }
        const std::string command = element.get<std::string>();
        auto space = command.find(' ');
        const bool wellFormed = space != std::string::npos && space > 0 && space + 1 < command.size() &&
                                command.find_first_of(" \t\r\n", space + 1) == std::string::npos &&
                                command.find_first_of("\t\r\n") == std::string::npos;
        if (!wellFormed) {
            warnings.push_back(where + "\"" + command + "\" is not one variable name, one space and a value");
        }
        const std::string variable = command.substr(0, space);
        if (!seen.insert(variable).second) {
            warnings.push_back(where + "sets " + variable + " more than once");
        }
        if (preset) {
            for (auto forced : ForcedPresetCommands) {
                if (command.starts_with(forced.substr(0, forced.find(' ') + 1))) {
                    warnings.push_back(where + "\"" + command + "\" is replaced by the forced command \"" +
                                       std::string(forced) + "\"");
                }
            }
        }
    }
}

std::vector<std::string> Warnings(const std::string& path) {
    std::vector<std::string> warnings;
    std::ifstream file(path, std::ios::binary);
    json root;
    try {
        file >> root;
    } catch (const std::exception&) {
        return warnings;
    }
    if (!root.is_object()) {
        return warnings;
    }
    WarnNearMisses(root, {std::begin(ConfigKeys), std::end(ConfigKeys)}, "", warnings);
    const bool hasPresets = root.contains("Presets");
    if (root.contains("OnCommands") && hasPresets) {
        warnings.push_back("\"OnCommands\" is dropped because \"Presets\" is present");
    }
    if (auto on = root.find("OnCommands"); on != root.end() && !hasPresets) {
        WarnCommands(*on, "OnCommands: ", true, warnings);
    }
    if (auto presets = root.find("Presets"); presets != root.end() && presets->is_object()) {
        std::vector<std::string> levels(PresetLevelNames.begin(), PresetLevelNames.end());
        WarnNearMisses(*presets, levels, "Presets: ", warnings);
        for (const auto& level : levels) {
            if (auto list = presets->find(level); list != presets->end()) {
                WarnCommands(*list, "Presets." + level + ": ", true, warnings);
            }
        }
    }
    if (auto off = root.find("OffCommands"); off != root.end()) {
        WarnCommands(*off, "OffCommands: ", false, warnings);
    }
    return warnings;
}

// ---- the side-by-side table ---------------------------------------------------------------------

void PrintTable(const PluginConfig& config) {
    std::vector<std::string> columns(PresetLevelNames.begin(), PresetLevelNames.end());
    std::vector<const CommandList*> lists;
    for (const auto& level : columns) {
        lists.push_back(&config.Presets.at(level));
    }
    columns.push_back("baseline");
    lists.push_back(&config.OffCommands);

    std::vector<std::string> variables;
    std::map<std::string, std::vector<std::string>> cells;
    for (std::size_t c = 0; c < lists.size(); ++c) {
        for (const auto& command : *lists[c]) {
            auto space = command.find(' ');
            std::string variable = command.substr(0, space);
            std::string value = space == std::string::npos ? "" : command.substr(space + 1);
            auto [row, added] = cells.try_emplace(variable, lists.size(), "-");
            if (added) {
                variables.push_back(variable);
            }
            row->second[c] = value;  // the last setting in a list is the one the client keeps
        }
    }
    std::size_t nameWidth = std::string("variable").size();
    for (const auto& variable : variables) {
        nameWidth = std::max(nameWidth, variable.size());
    }
    std::vector<std::size_t> widths;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        std::size_t width = columns[c].size();
        for (const auto& variable : variables) {
            width = std::max(width, cells[variable][c].size());
        }
        widths.push_back(width);
    }
    auto printRow = [&](const std::string& name, const std::vector<std::string>& values) {
        std::string line = name + std::string(nameWidth - name.size(), ' ');
        for (std::size_t c = 0; c < values.size(); ++c) {
            line += "  " + values[c] + std::string(widths[c] - values[c].size(), ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::cout << line << '\n';
    };
    printRow("variable", columns);
    for (const auto& variable : variables) {
        printRow(variable, cells[variable]);
    }
}

void PrintConfig(const PluginConfig& config) {
    std::cout << "chat aliases: " << Join(config.ChatCommands, ", ") << '\n'
              << "default preset: " << PresetDisplayName(config.DefaultPreset) << '\n'
              << "sender: " << config.Sender << '\n'
              << "enabled message: " << config.EnabledMessage << '\n'
              << "disabled message: " << config.DisabledMessage << '\n'
              << "usage message: " << config.UsageMessage << '\n'
              << "help message: " << config.HelpMessage << '\n'
              << "log usage: " << (config.LogUsage ? "true" : "false") << '\n'
              << '\n';
    PrintTable(config);
}

// ---- commands -----------------------------------------------------------------------------------

std::optional<PluginConfig> Load(const std::string& path) {
    for (const auto& warning : Warnings(path)) {
        std::cerr << "warning: " << warning << '\n';
    }
    try {
        return LoadConfigFrom(path);
    } catch (const std::exception& error) {
        std::cout << "invalid configuration: " << error.what() << '\n';
        return std::nullopt;
    }
}

int UsageError(const std::string& reason) {
    std::cerr << "lumora-config: " << reason << '\n' << Usage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    bool asJson = false;
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage;
            return 0;
        } else if (arg == "--json") {
            asJson = true;
        } else if (arg == "--force") {
            force = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option: " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) {
        return UsageError("a command is missing");
    }
    const std::string command = positional[0];
    const std::optional<std::string> file =
        positional.size() > 1 ? std::optional<std::string>(positional[1]) : std::nullopt;
    if (positional.size() > 2) {
        return UsageError("too many arguments");
    }
    if ((asJson && command != "show") || (force && command != "init")) {
        return UsageError(std::string(asJson ? "--json" : "--force") + " does not go with " + command);
    }

    if (command == "check") {
        if (!file) {
            return UsageError("check needs a FILE");
        }
        auto config = Load(*file);
        if (!config) {
            return 1;
        }
        std::cout << Summary(*config) << '\n';
        return 0;
    }
    if (command == "show") {
        std::optional<PluginConfig> config = file ? Load(*file) : std::optional<PluginConfig>(BuiltInConfig());
        if (!config) {
            return 1;
        }
        if (asJson) {
            std::cout << ToJson(*config).dump(2) << '\n';
        } else {
            PrintConfig(*config);
        }
        return 0;
    }
    if (command == "init") {
        const std::string text = ToJson(BuiltInConfig()).dump(2) + "\n";
        if (!file) {
            std::cout << text;
            return 0;
        }
        std::error_code error;
        if (fs::exists(*file, error) && !force) {
            std::cerr << "lumora-config: " << *file << " exists; use --force to overwrite it\n";
            return 1;
        }
        std::ofstream out(*file, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::cerr << "lumora-config: could not write " << *file << '\n';
            return 1;
        }
        return 0;
    }
    return UsageError("unknown command: " + command);
}
