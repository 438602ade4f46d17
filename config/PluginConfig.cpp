#include "config/PluginConfig.h"

#include <cstddef>

namespace Lumora {
namespace {

// Variables of the built-in presets, with the value of each level, in PresetLevelNames' order.
struct PresetRow {
    const char* variable;
    std::array<const char*, PresetLevelNames.size()> values;
};

constexpr PresetRow BuiltInPresetRows[] = {
    {"r.VSync", {"0", "0", "0", "0"}},
    {"foliage.DensityScale", {"0", "0.35", "0.65", "1"}},
    {"grass.DensityScale", {"0", "0.35", "0.65", "1"}},
    {"r.ContactShadows", {"0", "0", "0", "1"}},
    {"r.Shadow.Virtual.Enable", {"0", "0", "1", "1"}},
    {"r.ShadowQuality", {"0", "1", "3", "5"}},
    {"r.LensFlareQuality", {"0", "0", "0", "2"}},
    {"r.LightFunctionQuality", {"0", "0", "1", "1"}},
    {"r.ScreenPercentage", {"70", "80", "90", "100"}},
    {"r.Tonemapper.Sharpen", {"1", "0.75", "0.5", "-1"}},
    {"r.MotionBlurQuality", {"0", "0", "0", "0"}},
    {"r.DepthOfFieldQuality", {"0", "0", "0", "0"}},
    {"r.SceneColorFringeQuality", {"0", "0", "0", "0"}},
    {"r.AmbientOcclusionLevels", {"0", "0", "1", "-1"}},
    {"r.Lumen.ScreenProbeGather.ShortRangeAO", {"0", "0", "0", "1"}},
    {"r.LightShaftQuality", {"0", "0", "0", "1"}},
    {"r.Tonemapper.Quality", {"0", "2", "4", "5"}},
    {"r.DisableDistortion", {"1", "1", "1", "0"}},
    {"r.RefractionQuality", {"0", "0", "1", "2"}},
    {"r.TranslucencyVolumeBlur", {"0", "0", "0", "1"}},
    {"r.Water.SingleLayer.Reflection", {"0", "0", "0", "1"}},
};
// A row sized from the list but written for fewer levels would hold null values.
consteval bool EveryRowHasEveryLevel() {
    for (const PresetRow& row : BuiltInPresetRows) {
        for (const char* value : row.values) {
            if (value == nullptr) {
                return false;
            }
        }
    }
    return true;
}
static_assert(EveryRowHasEveryLevel(),
              "each row of BuiltInPresetRows needs a value for every level of PresetLevelNames");

const char* const BaselineCommands[] = {
    "r.VSync 1",
    "foliage.DensityScale 1",
    "grass.DensityScale 1",
    "r.VolumetricCloud 1",
    "r.VolumetricFog 1",
    "r.Fog 1",
    "r.ContactShadows 1",
    "r.Shadow.Virtual.Enable 1",
    "r.ShadowQuality 5",
    "r.LensFlareQuality 2",
    "r.LightFunctionQuality 1",
    "r.ScreenPercentage 100",
    "r.Tonemapper.Sharpen -1",
    "r.MotionBlurQuality 3",
    "r.DepthOfFieldQuality 2",
    "r.BloomQuality 5",
    "r.SceneColorFringeQuality 1",
    "r.AmbientOcclusionLevels -1",
    "r.Lumen.ScreenProbeGather.ShortRangeAO 1",
    "r.LightShaftQuality 1",
    "r.Tonemapper.Quality 5",
    "r.DisableDistortion 0",
    "r.RefractionQuality 2",
    "r.TranslucencyVolumeBlur 1",
    "r.Water.SingleLayer.Reflection 1",
};

}  // namespace

PresetMap BuiltInPresets() {
    PresetMap presets;
    for (std::size_t level = 0; level < PresetLevelNames.size(); ++level) {
        CommandList& list = presets[std::string(PresetLevelNames[level])];
        for (const PresetRow& row : BuiltInPresetRows) {
            list.push_back(std::string(row.variable) + " " + row.values[level]);
        }
    }
    return presets;
}

PluginConfig BuiltInConfig() {
    PluginConfig config;
    config.ChatCommands = {"/fps", "fps"};
    config.Presets = BuiltInPresets();
    config.DefaultPreset = "medium";
    config.OffCommands.assign(std::begin(BaselineCommands), std::end(BaselineCommands));
    config.Sender = "Lumora";
    config.EnabledMessage = "Applied the {preset} performance preset.";
    config.DisabledMessage = "Baseline applied. This does not restore your original settings.";
    config.UsageMessage = "Usage: /fps [on|off|low|medium|high|epic|status|help]";
    config.HelpMessage =
        "Presets: low, medium, high, epic. /fps or /fps on uses the configured default. /fps off applies the "
        "configured baseline; it does not restore original settings.";
    config.LogUsage = true;
    return config;
}

}  // namespace Lumora
