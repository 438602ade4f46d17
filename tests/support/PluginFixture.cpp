#include "support/PluginFixture.h"

namespace TestSupport {

void PluginFixture::SetUp() {
    HostTest::SetUp();
    Plugin_Init();
    StandIn::ClearLog();
}

void PluginFixture::TearDown() {
    Plugin_Unload();
    StandIn::RemoveRegistrationsOf("");               // as the host does after Plugin_Unload
    Lumora::CurrentConfig = Lumora::BuiltInConfig();  // as the next test, or the next repeat, expects
    HostTest::TearDown();
}

void PluginFixture::Say(AShooterPlayerController* player, const std::string& line) {
    const StandIn::HeapStats before = StandIn::Heap();
    EXPECT_TRUE(StandIn::Chat(player, line)) << "the plugin did not take: " << line;
    const StandIn::HeapStats after = StandIn::Heap();
    EXPECT_EQ(after.liveBlocks, before.liveBlocks) << "engine blocks left behind by: " << line;
    EXPECT_EQ(after.liveBytes, before.liveBytes) << line;
    EXPECT_EQ(after.misuses, before.misuses) << line;
}

std::vector<std::string> PluginFixture::Replies(AShooterPlayerController* player) {
    std::vector<std::string> replies;
    for (const auto& line : StandIn::ChatLines()) {
        EXPECT_EQ(line.player, player) << "a reply went to another player: " << line.text;
        EXPECT_EQ(line.sender, Lumora::CurrentConfig.Sender);
        replies.push_back(line.text);
    }
    StandIn::ClearChatLines();
    return replies;
}

std::vector<std::string> PluginFixture::Received(AShooterPlayerController* player) {
    auto commands = StandIn::ClientCommands(player);
    StandIn::ClearClientCommands(player);
    return commands;
}

std::string PluginFixture::Active(AShooterPlayerController* player) {
    auto entry = Lumora::ActivePresetTable.find(player);
    return entry == Lumora::ActivePresetTable.end() ? std::string() : entry->second;
}

}  // namespace TestSupport
