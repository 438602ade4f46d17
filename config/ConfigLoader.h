#pragma once
// Reading and strict validation of config.json.

#include <fstream>
#include <istream>
#include <string>
#include <string_view>
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
// The checks of the load on a value already parsed.
PluginConfig LoadConfigFromJson(const nlohmann::json& root);
// The file at path, opened for reading; throws "could not open PATH".
std::ifstream OpenConfigFile(const std::string& path);

// A load failure's text as admins read it, in the log and from the checker: the quoted input of a
// parse error cut to a sensible length, and bytes that are not valid UTF-8 shown as \xFF.
std::string ConfigFaultText(const std::string& what);
// Text with every byte that begins no valid UTF-8 sequence shown as \xFF; with controls, also
// every control character (as \n, \t, \r or \x1B).
std::string EscapeText(std::string_view text, bool controls);

std::vector<std::string> ReadStringArray(const nlohmann::json& object, const std::string& key,
                                         const std::vector<std::string>& fallback, bool allowEmpty);
std::string ReadString(const nlohmann::json& object, const std::string& key, const std::string& fallback);
PresetMap ReadPresets(const nlohmann::json& object, const PresetMap& current);
void ApplyForcedCommands(CommandList& list);

}  // namespace Lumora
