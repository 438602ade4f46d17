// How presets are shown to people, and the reply built from the enabled message.

#include <gmock/gmock.h>

#include "command/ChatReply.h"
#include "config/PluginConfig.h"

using namespace Lumora;

namespace {

TEST(ChatReplyTest, DisplayNamesAndEnabledReply) {
    struct Case {
        std::string name, shown;
    } cases[] = {{"low", "Low"},     {"epic", "Epic"}, {"", ""}, {"\xC3\xA9pic", "\xC3\xA9pic"},
                 {"\xE0x", "\xE0x"}, {"1a", "1a"}};
    for (const auto& c : cases) {
        EXPECT_EQ(PresetDisplayName(c.name), c.shown);
    }
    PluginConfig config = BuiltInConfig();
    EXPECT_EQ(FormatEnabledReply(config, "high"), "Applied the High performance preset.");
    config.EnabledMessage = "no placeholder";
    EXPECT_EQ(FormatEnabledReply(config, "low"), "no placeholder");
    config.EnabledMessage = "{Preset} {preset}{preset}";
    EXPECT_EQ(FormatEnabledReply(config, "medium"), "{Preset} Medium{preset}");
}

}  // namespace
