// The config loader on arbitrary file contents: a record that keeps every invariant, or a standard exception.

#include <algorithm>
#include <optional>
#include <sstream>

#include "FuzzSupport.h"
#include "config/ConfigLoader.h"

using namespace Lumora;

namespace {

void CheckInvariants(const PluginConfig& config) {
    const auto& aliases = config.ChatCommands;
    FUZZ_CHECK(!aliases.empty() && aliases.size() <= 64, "alias count");
    FUZZ_CHECK(std::is_sorted(aliases.begin(), aliases.end()), "aliases sorted");
    FUZZ_CHECK(std::adjacent_find(aliases.begin(), aliases.end()) == aliases.end(), "aliases unique");
    for (const auto& alias : aliases) {
        FUZZ_CHECK(!alias.empty() && alias.size() <= 512 && FuzzSupport::ValidUtf8(alias), alias);
    }
    FUZZ_CHECK(config.Presets.size() == PresetLevelNames.size(), "one preset for each level");
    for (auto level : PresetLevelNames) {
        auto preset = config.Presets.find(std::string(level));
        FUZZ_CHECK(preset != config.Presets.end(), std::string(level));
        const CommandList& list = preset->second;
        FUZZ_CHECK(list.size() >= 4 && list.size() <= 68, "preset size");
        for (std::size_t i = 0; i < 4; ++i) {
            FUZZ_CHECK(list[list.size() - 4 + i] == ForcedPresetCommands[i], "ends with the forced commands");
        }
        for (std::size_t i = 0; i + 4 < list.size(); ++i) {
            FUZZ_CHECK(!list[i].empty() && list[i].size() <= 512, list[i]);
            for (auto forced : ForcedPresetCommands) {
                FUZZ_CHECK(!list[i].starts_with(forced.substr(0, forced.find(' ') + 1)), list[i]);
            }
        }
    }
    FUZZ_CHECK(
        std::find(PresetLevelNames.begin(), PresetLevelNames.end(), config.DefaultPreset) != PresetLevelNames.end(),
        config.DefaultPreset);
    FUZZ_CHECK(config.OffCommands.size() <= 64, "baseline size");
    for (const std::string* text :
         {&config.Sender, &config.EnabledMessage, &config.DisabledMessage, &config.UsageMessage, &config.HelpMessage}) {
        FUZZ_CHECK(text->size() <= 1024 && FuzzSupport::ValidUtf8(*text), *text);
    }
}

// The whole document, as the checker reads it: the loader, which builds only what it validates,
// must give the same record or the same fault.
struct Outcome {
    std::optional<PluginConfig> config;
    std::string fault;
    friend bool operator==(const Outcome&, const Outcome&) = default;
};

Outcome ThroughTheWholeTree(const std::string& bytes) {
    try {
        const ConfigText text = ReadConfigText(bytes, true);
        if (text.fault) {
            return {std::nullopt, *text.fault};
        }
        // The whole document is the library's own reading of it.
        std::istringstream input(bytes);
        nlohmann::json parsed;
        input >> parsed;
        FUZZ_CHECK(parsed == text.root, "the whole document as the library reads it");
        return {LoadConfigFromJson(text.root), {}};
    } catch (const std::exception& error) {
        return {std::nullopt, error.what()};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Outcome outcome;
    try {
        outcome.config = LoadConfigFromText(bytes);
        CheckInvariants(*outcome.config);
    } catch (const std::exception& error) {
        FUZZ_CHECK(error.what() != nullptr && error.what()[0] != 0, "an exception with a text");
        outcome.fault = error.what();
    }
    FUZZ_CHECK(outcome == ThroughTheWholeTree(bytes), outcome.fault);
    return 0;
}
