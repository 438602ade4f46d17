#pragma once
// Reading and strict validation of config.json.

#include <cstdint>
#include <string>
#include <string_view>

#include <json.hpp>

#include "config/PluginConfig.h"

namespace Lumora {

// The commands that every loaded preset ends with, in this order.
inline constexpr std::string_view ForcedPresetCommands[] = {"r.BloomQuality 0", "r.VolumetricCloud 0",
                                                            "r.VolumetricFog 0", "r.Fog 0"};

// Every key that config.json may hold, in the order the loader reads them.
inline constexpr std::string_view ConfigKeys[] = {
    "ChatCommands",   "DefaultPreset",   "OnCommands",      "Presets",      "OffCommands", "Sender",
    "EnabledMessage", "DisabledMessage", "BaselineMessage", "UsageMessage", "HelpMessage", "LogUsage"};

// The most config.json may hold: far above the largest valid file, which is under 2 MiB.
inline constexpr std::uintmax_t MaxConfigBytes = 16 * 1024 * 1024;

// The server's working directory followed by "/ArkApi/Plugins/Lumora/config.json".
std::string GetConfigPath();

// Loads the file at GetConfigPath(). Throws a standard exception whose text is the whole report.
PluginConfig LoadConfig();
// The same load from any path, for tools that must report exactly what the plugin would.
PluginConfig LoadConfigFrom(const std::string& path);
// The bytes of the file at path: "could not open PATH" unless it is a regular file, and a fault of
// its own when it holds more than MaxConfigBytes.
std::string ReadConfigFile(const std::string& path);
// The checks of the load on the file's bytes.
PluginConfig LoadConfigFromText(const std::string& bytes);
// The checks of the load on a value already parsed.
PluginConfig LoadConfigFromJson(const nlohmann::json& root);

// Ends every list of presets with the forced commands, dropping earlier settings of their variables.
void ApplyForcedCommands(CommandList& list);

}  // namespace Lumora
