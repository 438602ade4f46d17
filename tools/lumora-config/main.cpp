// lumora-config: checks, shows and starts config.json with the plugin's own loading code.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/ConfigLoader.h"
#include "config/PluginConfig.h"
#include "config/RegularFile.h"
#include "generated/Version.h"
#include "lumora-config/Checks.h"
#include "lumora-config/Install.h"
#include "lumora-config/InstallFiles.h"
#include "lumora-config/Schema.h"
#include "text/ToolProcess.h"
#include "text/ToolText.h"

namespace fs = std::filesystem;
using nlohmann::json;
using namespace Lumora;

namespace {

const char* const Usage =
    "usage: lumora-config check FILE\n"
    "       lumora-config show [FILE] [--json]\n"
    "       lumora-config init [FILE] [--force]\n"
    "       lumora-config install SERVER_FOLDER [PACKAGE]\n"
    "                             (puts the package's plugin folder into the server's ArkApi/Plugins,\n"
    "                             keeps an existing config.json and checks it; one install at a time,\n"
    "                             every file checked against the package's list of sizes and SHA-256 sums)\n"
    "       lumora-config schema      (the JSON Schema of config.json, as schema/config.schema.json holds it)\n";

// The usage, and what install's exit statuses mean.
std::string UsageText() {
    std::string text = std::string(Usage) + "install's exit status:\n";
    for (std::size_t start = 0, end;
         (end = std::string_view(InstallStatusLines).find('\n', start)) != std::string::npos; start = end + 1) {
        text += "  " + std::string(InstallStatusLines + start, InstallStatusLines + end + 1);
    }
    return text;
}

// The configuration in config.json's own form, which loads back to the same record: every field
// once, under the first key that sets it.
json ToJson(const PluginConfig& config) {
    json out = json::object();
    for (const ConfigKey& key : ConfigKeyTable) {
        if (!OwnsField(key)) {
            continue;
        }
        json& value = out[std::string(key.name)];
        std::visit(Overloaded{
                       [&](CommandList PluginConfig::*list) { value = config.*list; },
                       [&](std::string PluginConfig::*text) { value = config.*text; },
                       [&](bool PluginConfig::*flag) { value = config.*flag; },
                       [](DefaultPresetList) {},
                       [&](PresetLists) {
                           value = json::object();
                           for (auto level : PresetLevelNames) {
                               value[std::string(level)] = config.Presets.at(std::string(level));
                           }
                       },
                   },
                   key.field);
    }
    return out;
}

// A list of aliases, each escaped and cut like every quoted value: 64 of 512 bytes stay one line.
std::string Join(const std::vector<std::string>& items, const std::string& separator) {
    std::string out;
    for (const auto& item : items) {
        out += (out.empty() ? "" : separator) + EscapeAndCut(item);
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
            std::string variable = EscapeText(command.substr(0, space));
            std::string value = space == std::string::npos ? "" : EscapeText(command.substr(space + 1));
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
    for (const ConfigKey& key : ConfigKeyTable) {
        if (key.shownAs.empty()) {
            continue;  // the command lists: the table below shows them
        }
        std::cout << key.shownAs << ": ";
        std::visit(Overloaded{
                       [&](CommandList PluginConfig::*list) { std::cout << Join(config.*list, ", "); },
                       [&](std::string PluginConfig::*text) {
                           std::cout << (key.kind == KeyKind::PresetName ? PresetDisplayName(config.*text)
                                                                         : EscapeText(config.*text));
                       },
                       [&](bool PluginConfig::*flag) { std::cout << (config.*flag ? "true" : "false"); },
                       [](DefaultPresetList) {},
                       [](PresetLists) {},
                   },
                   key.field);
        std::cout << '\n';
    }
    std::cout << '\n';
    PrintTable(config);
}

// ---- commands -----------------------------------------------------------------------------------

// The plugin's own load of the file, with the checker's warnings and hints; the file is read and
// parsed once.
// given: the file's bytes as install read them, instead of reading path.
std::optional<PluginConfig> Load(const fs::path& path, const std::optional<std::string>& given = std::nullopt) {
    const fs::path system = SystemPath(path);
    std::string bytes;
    std::optional<ParsedFile> parsed;
    try {
        bytes = CheckedConfigBytes(given ? given : ReadRegularFile(system, MaxConfigBytes), AdminPath(path));
        parsed = ParseConfigText(bytes);
        if (!parsed->error) {
            ContentWarnings(parsed->root, parsed->warnings);
        }
        for (const auto& warning : WarningLines(parsed->warnings)) {
            std::cerr << "warning: " << warning << '\n';
        }
        if (parsed->error) {
            throw std::runtime_error(*parsed->error);
        }
        return LoadConfigFromJson(parsed->root);
    } catch (const std::exception& error) {
        std::cout << "invalid configuration: " << ConfigFaultText(error.what()) << '\n';
        // A file that could not be read is named for what it is; a parse that broke, for where it
        // broke or for the encoding the file seems to have.
        std::optional<std::string> hint;
        if (!parsed) {
            hint = PathHint(system);
        } else if (parsed->error) {
            hint = parsed->errorHint ? parsed->errorHint : EncodingHint(bytes);
        }
        if (hint) {
            std::cout << *hint << '\n';
        }
        return std::nullopt;
    }
}

// Writes text to path. An existing regular file is replaced whole: the text goes to a new file
// beside it, renamed over it once complete, so another name of the old file (a hard link) keeps
// the old text and a crash never leaves half a file. The result is empty, or what failed.
std::string WriteConfigFile(const fs::path& path, const std::string& text, bool replace) {
    if (!replace) {
        return WriteNewRegularFile(path, text);
    }
    const fs::path part = path.parent_path() / PartName(path.filename());
    std::string failed = WriteNewRegularFile(part, text);
    std::error_code error;
    if (failed.empty()) {
        GiveModeAndOwner(part, path);
        fs::rename(part, path, error);
        failed = error ? error.message() : "";
    }
    if (!failed.empty()) {
        fs::remove(part, error);
    }
    return failed;
}

int UsageError(const std::string& reason) {
    std::cerr << "lumora-config: " << EscapeText(reason) << '\n' << UsageText();
    return 2;
}

int Main(int argc, char** argv) {
    std::vector<std::string> positional;
    bool asJson = false;
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << UsageText();
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
    if (positional.size() > (command == "install" ? 3 : 2)) {
        return UsageError("too many arguments");
    }
    if ((asJson && command != "show") || (force && command != "init")) {
        return UsageError(std::string(asJson ? "--json" : "--force") + " does not go with " + command);
    }

    if (command == "check") {
        if (!file) {
            return UsageError("check needs a FILE");
        }
        auto config = Load(PathFromText(*file));
        if (!config) {
            return 1;
        }
        std::cout << Summary(*config) << '\n';
        return 0;
    }
    if (command == "show") {
        std::optional<PluginConfig> config =
            file ? Load(PathFromText(*file)) : std::optional<PluginConfig>(BuiltInConfig());
        if (!config) {
            return 1;
        }
        if (asJson) {
            std::cout << JsonWithEscapedControls(ToJson(*config).dump(2)) << '\n';
        } else {
            PrintConfig(*config);
        }
        return 0;
    }
    if (command == "schema") {
        if (file) {
            return UsageError("schema takes no FILE");
        }
        std::cout << ConfigSchema().dump(2) << '\n';
        return 0;
    }
    if (command == "init") {
        const std::string text = ToJson(BuiltInConfig()).dump(2) + "\n";
        if (!file) {
            std::cout << text;
            return 0;
        }
        std::error_code error;
        const fs::path path = SystemPath(PathFromText(*file));
        const fs::file_status status = fs::symlink_status(path, error);
        if (fs::is_symlink(status)) {
            std::cerr << "lumora-config: " << EscapeText(*file)
                      << " is a symbolic link; write the file itself, not through a link\n";
            return 1;
        }
        if (fs::exists(status) && !force) {
            std::cerr << "lumora-config: " << EscapeText(*file) << " exists; use --force to overwrite it\n";
            return 1;
        }
        if (fs::exists(status) && !fs::is_regular_file(status)) {
            std::cerr << "lumora-config: could not write " << EscapeText(*file) << ": it is not a regular file\n";
            return 1;
        }
        if (const std::string failed = WriteConfigFile(path, text, fs::exists(status)); !failed.empty()) {
            std::cerr << "lumora-config: could not write " << EscapeText(*file) << ": " << EscapeText(failed) << '\n';
            return 1;
        }
        return 0;
    }
    if (command == "install") {
        if (!file || file->empty()) {
            return UsageError("install needs the SERVER_FOLDER that holds ArkApi");
        }
        if (positional.size() > 2 && positional[2].empty()) {
            return UsageError("the PACKAGE folder is empty: name the folder the package was extracted to");
        }
        std::optional<fs::path> package = positional.size() > 2 ? PathFromText(positional[2]) : OwnPackage();
        if (!package) {
            return UsageError("the folder of this program is unknown: name the PACKAGE");
        }
        const InstallOutcome installed = InstallPluginFolder(PathFromText(*file), *package);
        if (installed.status != 0) {
            return installed.status;
        }
        std::cout << "checking config.json with " LUMORA_NAME " " LUMORA_VERSION "'s rules\n";
        const std::optional<PluginConfig> config = Load(installed.config, installed.configBytes);
        if (!config) {
            std::cout << "installed, but the plugin would refuse this config.json and run on its built-in values: "
                         "fix it before the server starts\n";
            return 1;
        }
        std::cout << Summary(*config)
                  << "\ninstalled; start the server, or run plugins.load " LUMORA_NAME " at its console\n";
        return 0;
    }
    return UsageError("unknown command: " + command);
}

}  // namespace

// Whatever the system throws (a stream, a path, memory) ends in a message, never in terminate.
int main(int argc, char** argv) { return Lumora::RunTool("lumora-config", Main, argc, argv); }
