// How presets are shown to people, and the reply built from the enabled message.

#include <gmock/gmock.h>

#include "command/ChatReply.h"
#include "config/PluginConfig.h"

using namespace Lumora;

namespace {

TEST(ChatReplyTest, DisplayNamesAndEnabledReply) {
    const std::string enabled = CurrentConfig.EnabledMessage;
    struct Case {
        std::string name, shown;
    } cases[] = {{"low", "Low"},     {"epic", "Epic"}, {"", ""}, {"\xC3\xA9pic", "\xC3\xA9pic"},
                 {"\xE0x", "\xE0x"}, {"1a", "1a"}};
    for (const auto& c : cases) {
        EXPECT_EQ(PresetDisplayName(c.name), c.shown);
    }
    CurrentConfig.EnabledMessage = "no placeholder";
    EXPECT_EQ(FormatEnabledReply("low"), "no placeholder");
    CurrentConfig.EnabledMessage = "{Preset} {preset}{preset}";
    EXPECT_EQ(FormatEnabledReply("medium"), "{Preset} Medium{preset}");
    CurrentConfig.EnabledMessage = enabled;
}

}  // namespace
