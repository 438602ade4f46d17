// A chat line of arbitrary 16-bit units through the host's registry into the fps command, for a
// player with and one without an active preset.

#include <set>

#include "FuzzSupport.h"
#include "command/FpsCommand.h"
#include "config/PluginConfig.h"
#include "plugin/Plugin.h"

using namespace Lumora;

namespace {

struct World {
    AShooterPlayerController* withPreset = nullptr;
    AShooterPlayerController* without = nullptr;
    std::set<std::string> sendable;
};

World& TheWorld() {
    static World world = [] {
        FuzzSupport::StartHostOnce();
        Plugin_Init();
        World w;
        w.withPreset = StandIn::Join("With");
        w.without = StandIn::Join("Without");
        for (const auto& [name, list] : CurrentConfig.Presets) {
            w.sendable.insert(list.begin(), list.end());
        }
        w.sendable.insert(CurrentConfig.OffCommands.begin(), CurrentConfig.OffCommands.end());
        return w;
    }();
    return world;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    World& world = TheWorld();
    if (size < 1) {
        return 0;
    }
    // First byte: which player, and whether its preset is set before the line.
    AShooterPlayerController* player = (data[0] & 1) != 0 ? world.withPreset : world.without;
    ActivePresetTable.erase(player);
    if ((data[0] & 1) != 0) {
        ActivePresetTable[player] = "low";
    }
    std::u16string line(u"/fps ");
    if ((data[0] & 2) != 0) {
        line.clear();  // no alias in front: usually not ours at all
    }
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        line += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    StandIn::ClearRecords();
    StandIn::ClearClientCommands(world.withPreset);
    StandIn::ClearClientCommands(world.without);
    const StandIn::HeapStats before = StandIn::Heap();
    StandIn::ChatWide(player, line);
    const StandIn::HeapStats after = StandIn::Heap();
    FUZZ_CHECK(after.liveBlocks == before.liveBlocks && after.liveBytes == before.liveBytes, "heap unchanged");
    FUZZ_CHECK(after.misuses == before.misuses, "no heap misuse");
    for (const auto& reply : StandIn::ChatLines()) {
        FUZZ_CHECK(reply.player == player, "replies only to the player who typed");
    }
    FUZZ_CHECK(StandIn::ChatLines().size() <= 1, "at most one reply");
    for (const auto& command : StandIn::ClientCommands(player)) {
        FUZZ_CHECK(world.sendable.count(command) == 1, command);
    }
    AShooterPlayerController* other = player == world.withPreset ? world.without : world.withPreset;
    FUZZ_CHECK(StandIn::ClientCommands(other).empty(), "nothing for the other player");
    return 0;
}
