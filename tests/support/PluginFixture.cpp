#include "support/PluginFixture.h"

namespace TestSupport {

void PluginFixture::SetUp() {
    HostTest::SetUp();
    Plugin_Init();
    StandIn::ClearLog();
}

void PluginFixture::TearDown() {
    Plugin_Unload();
    StandIn::RemoveRegistrationsOf("");  // as the host does after Plugin_Unload
    HostTest::TearDown();
}

namespace {

// Runs what, and checks that the engine heap is exactly as it was before it.
template <typename What>
void WithHeapKept(const std::string& line, What what) {
    const StandIn::HeapStats before = StandIn::Heap();
    what();
    const StandIn::HeapStats after = StandIn::Heap();
    EXPECT_EQ(after.liveBlocks, before.liveBlocks) << "engine blocks left behind by: " << line;
    EXPECT_EQ(after.liveBytes, before.liveBytes) << line;
    EXPECT_EQ(after.misuses, before.misuses) << line;
}

}  // namespace

void PluginFixture::Say(AShooterPlayerController* player, const std::string& line) {
    WithHeapKept(line, [&] { EXPECT_TRUE(StandIn::Chat(player, line)) << "the plugin did not take: " << line; });
}

void PluginFixture::Run(AShooterPlayerController* player, const std::string& line) {
    WithHeapKept(line, [&] {
        const FString text(line.c_str());
        Lumora::RunFpsCommand(config, Lumora::ActivePresetTable, player, Lumora::ParseFpsArgument(text));
    });
}

std::vector<std::string> PluginFixture::Replies(AShooterPlayerController* player) {
    std::vector<std::string> replies;
    for (const auto& line : TakeChatLines()) {
        EXPECT_EQ(line.player, player) << "a reply went to another player: " << line.text;
        EXPECT_EQ(line.sender, config.Sender);
        replies.push_back(line.text);
    }
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
