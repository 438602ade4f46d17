#pragma once
// Reading and strict validation of config.json.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <json.hpp>

#include "config/ConfigKeys.h"
#include "config/ConfigText.h"
#include "config/PluginConfig.h"

namespace Lumora {

// The commands that every loaded preset ends with, in this order.
inline constexpr std::string_view ForcedPresetCommands[] = {"r.BloomQuality 0", "r.VolumetricCloud 0",
                                                            "r.VolumetricFog 0", "r.Fog 0"};

// True when command sets the same variable as forced: "r.Fog 1" and "r.Fog 0".
inline bool SetsSameVariable(std::string_view command, std::string_view forced) {
    return command.starts_with(forced.substr(0, forced.find(' ') + 1));
}

// The most config.json may hold: the largest valid file (every list and text at its limit) still
// fits when every character of it is written as a \u escape, and no file within it costs start-up
// more than a few tens of milliseconds or megabytes (scripts/measure/worst-files measures both).
inline constexpr std::uintmax_t MaxConfigBytes = 1400 * 1024;
// The config.json of the server whose folder (the one that holds ArkApi) is serverFolder:
// serverFolder followed by "/ArkApi/Plugins/Lumora/config.json".
std::string ConfigPathIn(const std::string& serverFolder);

// The plugin's load of the file at path, for the plugin and for tools that must report exactly
// what it would. Throws a standard exception whose text is the whole report.
PluginConfig LoadConfigFrom(const std::string& path);
// The bytes of the file at path: "could not open PATH" unless what it opens is a regular file, and
// a fault of its own when it holds more than MaxConfigBytes. Never blocks on a pipe or a device.
// The path is shown in UTF-8, whatever code page it came in.
std::string ReadConfigFile(const std::filesystem::path& path);
// The same from what was read of the file at path (no more than MaxConfigBytes + 1 bytes), when
// it could be opened: the file's bytes, or its fault.
std::string CheckedConfigBytes(std::optional<std::string> bytes, const std::filesystem::path& path);
// The checks of the load on the file's bytes.
PluginConfig LoadConfigFromText(const std::string& bytes);
// The checks of the load on a value already read: validation, then normalisation.
PluginConfig LoadConfigFromJson(const nlohmann::json& root);

// Ends every list of presets with the forced commands, dropping earlier settings of their variables.
void ApplyForcedCommands(CommandList& list);

}  // namespace Lumora
