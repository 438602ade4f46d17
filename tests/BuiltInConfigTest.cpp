// The compiled-in configuration: what must hold of it whatever its values are.

#include <algorithm>
#include <set>

#include <gmock/gmock.h>

#include "config/ConfigLoader.h"
#include "config/PluginConfig.h"

using namespace Lumora;

namespace {

std::set<std::string> Variables(const CommandList& list) {
    std::set<std::string> variables;
    for (const auto& command : list) {
        variables.insert(command.substr(0, command.find(' ')));
    }
    return variables;
}

// A preset that left a variable out would keep whatever the last one set; the baseline must undo
// every one of them. The forced commands end every list, once each, and nothing else sets their variables.
TEST(BuiltInConfigTest, EveryPresetSetsWhatTheBaselineResets) {
    const PluginConfig config = BuiltInConfig();
    ASSERT_EQ(config.Presets.size(), PresetLevelNames.size());
    const std::set<std::string> baseline = Variables(config.OffCommands);
    EXPECT_EQ(baseline.size(), config.OffCommands.size()) << "the baseline sets each variable once";
    for (const auto level : PresetLevelNames) {
        CommandList list = config.Presets.at(std::string(level));
        for (const auto forced : ForcedPresetCommands) {
            EXPECT_EQ(std::count_if(list.begin(), list.end(),
                                    [&](const std::string& command) { return SetsSameVariable(command, forced); }),
                      0)
                << level << " sets " << forced << " itself";
        }
        ApplyForcedCommands(list);
        EXPECT_EQ(Variables(list), baseline) << level;
        EXPECT_EQ(Variables(list).size(), list.size()) << level << " sets a variable twice";
        EXPECT_TRUE(std::equal(std::begin(ForcedPresetCommands), std::end(ForcedPresetCommands),
                               list.end() - static_cast<std::ptrdiff_t>(std::size(ForcedPresetCommands))));
    }
}

// The built-in record is one the loader could have produced: it passes every check of a file.
TEST(BuiltInConfigTest, RecordIsOneTheLoaderAccepts) {
    const PluginConfig config = BuiltInConfig();
    EXPECT_TRUE(std::is_sorted(config.ChatCommands.begin(), config.ChatCommands.end()));
    EXPECT_EQ(std::adjacent_find(config.ChatCommands.begin(), config.ChatCommands.end()), config.ChatCommands.end());
    EXPECT_EQ(config.Presets.count(config.DefaultPreset), 1u);
    for (const ConfigKey& key : ConfigKeyTable) {
        if (const auto* text = std::get_if<std::string PluginConfig::*>(&key.field)) {
            EXPECT_LE((config.**text).size(), MaxBytesOf(key)) << key.name;
        } else if (key.kind == KeyKind::Aliases || key.kind == KeyKind::Commands) {
            EXPECT_LE(ListOf(config, key).size(), MaxEntries) << key.name;
            for (const auto& entry : ListOf(config, key)) {
                EXPECT_LE(entry.size(), MaxBytesOf(key)) << key.name;
            }
        }
    }
    EXPECT_NE(config.EnabledMessage.find("{preset}"), std::string::npos);
    EXPECT_TRUE(CurrentConfig == config) << "the process starts with it";
}

}  // namespace
