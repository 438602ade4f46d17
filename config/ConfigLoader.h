#pragma once
// Reading and strict validation of config.json.

#include <istream>
#include <string>
#include <vector>

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

// The server's working directory followed by "/ArkApi/Plugins/Lumora/config.json".
std::string GetConfigPath();

// Loads the file at GetConfigPath(). Throws a standard exception whose text is the whole report.
PluginConfig LoadConfig();
// The same load from any path, for tools that must report exactly what the plugin would.
PluginConfig LoadConfigFrom(const std::string& path);
// The checks of the load on content already opened.
PluginConfig LoadConfigFromStream(std::istream& input);

std::vector<std::string> ReadStringArray(const nlohmann::json& object, const std::string& key,
                                         const std::vector<std::string>& fallback, bool allowEmpty);
std::string ReadString(const nlohmann::json& object, const std::string& key, const std::string& fallback);
PresetMap ReadPresets(const nlohmann::json& object, const PresetMap& current);
void ApplyForcedCommands(CommandList& list);

}  // namespace Lumora
