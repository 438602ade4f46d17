#include "lumora-config/Schema.h"

#include <string>

#include "config/ConfigLoader.h"
#include "config/PluginConfig.h"

namespace Lumora {
namespace {

using Schema = nlohmann::ordered_json;

std::string Number(std::size_t value) { return std::to_string(value); }

// A list of console commands or aliases, with at least least entries.
Schema List(std::size_t least, const std::string& description, const CommandList& builtIn) {
    return {{"type", "array"},
            {"minItems", least},
            {"maxItems", MaxEntries},
            {"items", {{"type", "string"}, {"minLength", 1}, {"maxLength", MaxCommandBytes}}},
            {"description", description},
            {"default", builtIn}};
}

Schema Text(const std::string& description, const std::string& builtIn) {
    return {{"type", "string"}, {"maxLength", MaxStringBytes}, {"description", description}, {"default", builtIn}};
}

// "^([Ll][Oo][Ww]|...)$": the preset names in any letter case.
std::string AnyCasePattern() {
    std::string pattern = "^(";
    for (std::size_t i = 0; i < PresetLevelNames.size(); ++i) {
        pattern += i > 0 ? "|" : "";
        for (char c : PresetLevelNames[i]) {
            pattern += std::string("[") + static_cast<char>(c - 'a' + 'A') + c + "]";
        }
    }
    return pattern + ")$";
}

}  // namespace

Schema ConfigSchema() {
    const PluginConfig builtIn = BuiltInConfig();
    const std::string entries = Number(MaxEntries);
    const std::string commandBytes = Number(MaxCommandBytes);
    const std::string textBytes = Number(MaxStringBytes);
    std::string forced;
    for (std::size_t i = 0; i < std::size(ForcedPresetCommands); ++i) {
        forced += std::string(i == 0                                     ? ""
                              : i + 1 == std::size(ForcedPresetCommands) ? " and "
                                                                         : ", ") +
                  std::string(ForcedPresetCommands[i]);
    }
    std::string levelNames;
    for (std::size_t i = 0; i < PresetLevelNames.size(); ++i) {
        levelNames += std::string(i == 0                             ? ""
                                  : i + 1 == PresetLevelNames.size() ? " or "
                                                                     : ", ") +
                      std::string(PresetLevelNames[i]);
    }

    Schema presets = {
        {"type", "object"},
        {"additionalProperties", false},
        {"description",
         "The command lists of the presets, by their lower-case names; a preset without a member keeps "
         "its built-in list, and members with other names are ignored by the plugin. Each list holds 1 "
         "to " +
             entries + " console commands (\"variable value\") of 1 to " + commandBytes +
             " bytes. Every loaded preset ends with " + forced + ", which replace any entry for those variables."},
        {"properties", Schema::object()}};
    for (std::string_view level : PresetLevelNames) {
        const std::string name(level);
        presets["properties"][name] =
            List(1, "The " + name + " preset's console commands, sent in order.", builtIn.Presets.at(name));
        presets["default"][name] = builtIn.Presets.at(name);
    }
    Schema defaultPreset = Text("The preset that /fps on and the bare /fps apply: " + levelNames +
                                    ", in any letter case (only A to Z are lowered).",
                                builtIn.DefaultPreset);
    Schema names = Schema::array();
    for (std::string_view level : PresetLevelNames) {
        names.push_back(std::string(level));
    }
    defaultPreset["anyOf"] = Schema::array();
    defaultPreset["anyOf"].push_back({{"enum", names}});
    defaultPreset["anyOf"].push_back({{"pattern", AnyCasePattern()}});

    Schema properties = {
        {"$schema", {{"type", "string"}, {"description", "This schema, for editors; ignored by the plugin."}}},
        {Key::ChatCommands,
         List(1,
              "Chat commands that run the fps command, each registered with the host as typed (with or without a "
              "leading /). 1 to " +
                  entries + " entries of 1 to " + commandBytes + " bytes; sorted and freed of duplicates when loaded.",
              builtIn.ChatCommands)},
        {Key::DefaultPreset, defaultPreset},
        {Key::OnCommands,
         List(1,
              "Replaces the default preset's list, but only when \"Presets\" is absent (otherwise it is checked and "
              "dropped). 1 to " +
                  entries + " commands of 1 to " + commandBytes + " bytes. Built-in: the default preset's own list.",
              builtIn.Presets.at(builtIn.DefaultPreset))},
        {Key::Presets, presets},
        {Key::OffCommands,
         List(0,
              "The baseline that /fps off sends: 0 to " + entries + " commands of 1 to " + commandBytes +
                  " bytes. It is a fixed set of values, not the player's former settings.",
              builtIn.OffCommands)},
        {Key::Sender,
         Text("The sender name shown with every chat reply; at most " + textBytes + " bytes, may be empty.",
              builtIn.Sender)},
        {Key::EnabledMessage,
         Text("Reply after a preset was applied; its first {preset} becomes the preset's name (Low, Medium, High, "
              "Epic). At most " +
                  textBytes + " bytes.",
              builtIn.EnabledMessage)},
        {Key::DisabledMessage,
         Text("Reply after the baseline was applied, unless BaselineMessage is present. At most " + textBytes +
                  " bytes.",
              builtIn.DisabledMessage)},
        {Key::BaselineMessage,
         Text("Reply after the baseline was applied; wins over DisabledMessage (both are checked). At most " +
                  textBytes + " bytes. Built-in: the DisabledMessage value.",
              builtIn.DisabledMessage)},
        {Key::UsageMessage,
         Text("Reply to an argument that is none of the command's words. At most " + textBytes + " bytes.",
              builtIn.UsageMessage)},
        {Key::HelpMessage, Text("Reply to /fps help. At most " + textBytes + " bytes.", builtIn.HelpMessage)},
        {Key::LogUsage,
         {{"type", "boolean"},
          {"description",
           "When true, every applied preset and baseline writes a line naming the player's character "
           "to the server's log."},
          {"default", builtIn.LogUsage}}},
    };
    return {{"$schema", "https://json-schema.org/draft/2020-12/schema"},
            {"$id", "urn:lumora:config"},
            {"title", "Lumora config.json"},
            {"description",
             "Configuration of the Lumora plugin, read once at start-up from ArkApi/Plugins/Lumora/config.json. Every "
             "key is optional; an absent key keeps its built-in value. Any fault makes the plugin log the reason and "
             "run on the built-in configuration. Lengths are limits in bytes of UTF-8: a text of many non-ASCII "
             "characters can pass an editor's character count and still be too long. Keys that begin with _ are "
             "comments."},
            {"type", "object"},
            {"additionalProperties", false},
            {"patternProperties", {{"^_", {{"description", "A comment; ignored by the plugin."}}}}},
            {"properties", properties}};
}

}  // namespace Lumora
