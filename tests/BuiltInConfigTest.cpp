// The compiled-in configuration, to the byte.

#include <algorithm>

#include <gmock/gmock.h>

#include "config/PluginConfig.h"

using namespace Lumora;
using ::testing::ElementsAreArray;

namespace {

TEST(BuiltInConfigTest, PresetsMatchTheTable) {
    const PresetMap presets = BuiltInPresets();
    ASSERT_EQ(presets.size(), 4u);
    const std::vector<std::string> low = {"r.VSync 0",
                                          "foliage.DensityScale 0",
                                          "grass.DensityScale 0",
                                          "r.ContactShadows 0",
                                          "r.Shadow.Virtual.Enable 0",
                                          "r.ShadowQuality 0",
                                          "r.LensFlareQuality 0",
                                          "r.LightFunctionQuality 0",
                                          "r.ScreenPercentage 70",
                                          "r.Tonemapper.Sharpen 1",
                                          "r.MotionBlurQuality 0",
                                          "r.DepthOfFieldQuality 0",
                                          "r.SceneColorFringeQuality 0",
                                          "r.AmbientOcclusionLevels 0",
                                          "r.Lumen.ScreenProbeGather.ShortRangeAO 0",
                                          "r.LightShaftQuality 0",
                                          "r.Tonemapper.Quality 0",
                                          "r.DisableDistortion 1",
                                          "r.RefractionQuality 0",
                                          "r.TranslucencyVolumeBlur 0",
                                          "r.Water.SingleLayer.Reflection 0"};
    const std::vector<std::string> medium = {"r.VSync 0",
                                             "foliage.DensityScale 0.35",
                                             "grass.DensityScale 0.35",
                                             "r.ContactShadows 0",
                                             "r.Shadow.Virtual.Enable 0",
                                             "r.ShadowQuality 1",
                                             "r.LensFlareQuality 0",
                                             "r.LightFunctionQuality 0",
                                             "r.ScreenPercentage 80",
                                             "r.Tonemapper.Sharpen 0.75",
                                             "r.MotionBlurQuality 0",
                                             "r.DepthOfFieldQuality 0",
                                             "r.SceneColorFringeQuality 0",
                                             "r.AmbientOcclusionLevels 0",
                                             "r.Lumen.ScreenProbeGather.ShortRangeAO 0",
                                             "r.LightShaftQuality 0",
                                             "r.Tonemapper.Quality 2",
                                             "r.DisableDistortion 1",
                                             "r.RefractionQuality 0",
                                             "r.TranslucencyVolumeBlur 0",
                                             "r.Water.SingleLayer.Reflection 0"};
    const std::vector<std::string> high = {"r.VSync 0",
                                           "foliage.DensityScale 0.65",
                                           "grass.DensityScale 0.65",
                                           "r.ContactShadows 0",
                                           "r.Shadow.Virtual.Enable 1",
                                           "r.ShadowQuality 3",
                                           "r.LensFlareQuality 0",
                                           "r.LightFunctionQuality 1",
                                           "r.ScreenPercentage 90",
                                           "r.Tonemapper.Sharpen 0.5",
                                           "r.MotionBlurQuality 0",
                                           "r.DepthOfFieldQuality 0",
                                           "r.SceneColorFringeQuality 0",
                                           "r.AmbientOcclusionLevels 1",
                                           "r.Lumen.ScreenProbeGather.ShortRangeAO 0",
                                           "r.LightShaftQuality 0",
                                           "r.Tonemapper.Quality 4",
                                           "r.DisableDistortion 1",
                                           "r.RefractionQuality 1",
                                           "r.TranslucencyVolumeBlur 0",
                                           "r.Water.SingleLayer.Reflection 0"};
    const std::vector<std::string> epic = {"r.VSync 0",
                                           "foliage.DensityScale 1",
                                           "grass.DensityScale 1",
                                           "r.ContactShadows 1",
                                           "r.Shadow.Virtual.Enable 1",
                                           "r.ShadowQuality 5",
                                           "r.LensFlareQuality 2",
                                           "r.LightFunctionQuality 1",
                                           "r.ScreenPercentage 100",
                                           "r.Tonemapper.Sharpen -1",
                                           "r.MotionBlurQuality 0",
                                           "r.DepthOfFieldQuality 0",
                                           "r.SceneColorFringeQuality 0",
                                           "r.AmbientOcclusionLevels -1",
                                           "r.Lumen.ScreenProbeGather.ShortRangeAO 1",
                                           "r.LightShaftQuality 1",
                                           "r.Tonemapper.Quality 5",
                                           "r.DisableDistortion 0",
                                           "r.RefractionQuality 2",
                                           "r.TranslucencyVolumeBlur 1",
                                           "r.Water.SingleLayer.Reflection 1"};
    EXPECT_THAT(presets.at("low"), ElementsAreArray(low));
    EXPECT_THAT(presets.at("medium"), ElementsAreArray(medium));
    EXPECT_THAT(presets.at("high"), ElementsAreArray(high));
    EXPECT_THAT(presets.at("epic"), ElementsAreArray(epic));
    for (const char* other : {"Medium", "MEDIUM", "medium ", "ultra", ""}) {
        EXPECT_EQ(presets.count(other), 0u) << other;
    }
    for (const auto& [name, list] : presets) {
        for (const auto& command : list) {
            for (const char* forced : {"r.VolumetricCloud ", "r.VolumetricFog ", "r.Fog ", "r.BloomQuality "}) {
                EXPECT_NE(command.rfind(forced, 0), 0u) << name << ": " << command;
            }
        }
    }
}

TEST(BuiltInConfigTest, RecordMatchesTheTable) {
    const PluginConfig config = BuiltInConfig();
    EXPECT_THAT(config.ChatCommands, ElementsAreArray({"/fps", "fps"}));
    EXPECT_EQ(config.DefaultPreset, "medium");
    EXPECT_EQ(config.Sender, "Lumora");
    EXPECT_EQ(config.EnabledMessage, "Applied the {preset} performance preset.");
    EXPECT_EQ(config.DisabledMessage, "Baseline applied. This does not restore your original settings.");
    EXPECT_EQ(config.UsageMessage, "Usage: /fps [on|off|low|medium|high|epic|status|help]");
    EXPECT_EQ(config.HelpMessage,
              "Presets: low, medium, high, epic. /fps or /fps on uses the configured default. /fps off applies the "
              "configured baseline; it does not restore original settings.");
    EXPECT_TRUE(config.LogUsage);
    EXPECT_THAT(config.OffCommands, ElementsAreArray({"r.VSync 1",
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
                                                      "r.Water.SingleLayer.Reflection 1"}));
}

TEST(BuiltInConfigTest, CurrentConfigStartsBuiltIn) {
    const PluginConfig builtIn = BuiltInConfig();
    EXPECT_EQ(CurrentConfig.ChatCommands, builtIn.ChatCommands);
    EXPECT_EQ(CurrentConfig.Presets, builtIn.Presets);
    EXPECT_EQ(CurrentConfig.OffCommands, builtIn.OffCommands);
}

}  // namespace
