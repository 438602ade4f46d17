// lumora-soak: a long run of the plugin, reporting what must stay flat.
//   1. 100 players send a mixed stream of chat lines, with joins and leaves between them, to the
//      plugin started in this process;
//   2. the built library is loaded, started, used, stopped and unloaded over and over.
// Exit status 1 when the engine heap, the host's registrations or the per-player table drift.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "AsaApiStandIn/Control.h"
#include "command/FpsCommand.h"
#include "plugin/Plugin.h"

namespace fs = std::filesystem;

namespace {

bool failed = false;

// What resident memory may grow by over the chat phase, after its first tenth.
constexpr std::uint64_t ResidentGrowthKiB = 8 * 1024;

void Expect(bool condition, const std::string& what) {
    if (!condition) {
        std::printf("DRIFT: %s\n", what.c_str());
        failed = true;
    }
}

// The chat commands and chat-message callbacks registered with the host.
std::size_t Registrations() {
    return StandIn::RegisteredChatCommands().size() + StandIn::ChatMessageCallbackIds().size();
}

void ChatPhase(std::uint64_t lines, int playerCount) {
    const auto heapAtStart = StandIn::Heap();
    Plugin_Init();
    std::mt19937_64 random(20261207);
    std::vector<AShooterPlayerController*> players;
    for (int i = 0; i < playerCount; ++i) {
        players.push_back(StandIn::Join("player" + std::to_string(i)));
    }
    const char* const texts[] = {
        "/fps",          "/fps on",     "/fps off",       "/fps low",         "/fps medium",    "/fps high",
        "/fps epic",     "/fps status", "/fps help",      "fps LOW",          "/fps lowest",    "/fps on off",
        "  /FPS  Epic ", "/fps\tlow",   "hello everyone", "fps is fine here", "FPS high please"};
    const std::size_t textCount = sizeof texts / sizeof texts[0];
    std::uint64_t firstResident = 0;  // at the first report, once every record has filled
    std::uint64_t joins = 0;
    std::uint64_t leaves = 0;
    std::printf("%10s %12s %12s %14s %12s %10s %12s\n", "lines", "heap blocks", "heap bytes", "registrations",
                "table size", "connected", "resident KiB");
    for (std::uint64_t line = 1; line <= lines; ++line) {
        auto& player = players[random() % players.size()];
        if (random() % 500 == 0) {
            // The player leaves; half the time the same controller comes back, else a new player joins.
            if (random() % 2 == 0) {
                StandIn::Rejoin(player);
            } else {
                StandIn::Forget(player);
                player = StandIn::Join("player" + std::to_string(playerCount + joins));
            }
            joins++;
            leaves++;
        }
        // Nothing is cleared: the stand-in keeps only the recent records, each client's commands
        // among them, so memory stays flat however long the run.
        StandIn::Chat(player, texts[random() % textCount]);
        if (line % (lines / 10) == 0) {
            const auto heap = StandIn::Heap();
            std::size_t connected = 0;
            for (auto* p : players) {
                connected += StandIn::IsConnected(p) ? 1 : 0;
            }
            std::printf("%10llu %12llu %12llu %14zu %12zu %10zu %12llu\n", static_cast<unsigned long long>(line),
                        static_cast<unsigned long long>(heap.liveBlocks),
                        static_cast<unsigned long long>(heap.liveBytes), Registrations(),
                        Lumora::ActivePresetTable.size(), connected,
                        static_cast<unsigned long long>(StandIn::ResidentKiB()));
            Expect(Lumora::ActivePresetTable.size() <= connected, "more table entries than connected players");
            for (const auto& [controller, name] : Lumora::ActivePresetTable) {
                Expect(StandIn::IsConnected(const_cast<AShooterPlayerController*>(controller)),
                       "an entry for a player who left");
            }
            Expect(Registrations() == 2, "registrations changed");
            const std::uint64_t resident = StandIn::ResidentKiB();
            if (firstResident == 0) {
                firstResident = resident;
            }
            Expect(resident <= firstResident + ResidentGrowthKiB, "resident memory grew by more than 8 MiB");
            Expect(heap.liveBlocks == heapAtStart.liveBlocks + 2, "engine blocks beyond the two aliases");
        }
    }
    std::printf("joins and leaves: %llu\n", static_cast<unsigned long long>(joins + leaves));
    for (auto* p : players) {
        StandIn::Forget(p);
    }
    Plugin_Unload();
    StandIn::RemoveRegistrationsOf("");  // as the host does after Plugin_Unload
    Expect(StandIn::Heap().liveBlocks == heapAtStart.liveBlocks, "engine blocks left after unload");
}

void CyclePhase(std::uint64_t cycles) {
    const auto heapAtStart = StandIn::Heap();
    auto* player = StandIn::Join("cycler");
    std::printf("%10s %12s %12s %14s %8s %12s\n", "cycles", "heap blocks", "heap bytes", "registrations", "hooks",
                "resident KiB");
    for (std::uint64_t cycle = 1; cycle <= cycles; ++cycle) {
        std::string error;
        if (!StandIn::LoadPlugin("Lumora", error)) {
            std::printf("load failed: %s\n", error.c_str());
            failed = true;
            return;
        }
        StandIn::Chat(player, "/fps low");
        StandIn::Chat(player, "/fps status");
        StandIn::Chat(player, "/fps");
        if (!StandIn::UnloadPlugin("Lumora", error)) {
            std::printf("unload failed: %s\n", error.c_str());
            failed = true;
            return;
        }
        StandIn::ClearRecords();
        StandIn::ClearClientCommands(player);
        if (cycle % (cycles / 10) == 0) {
            const auto heap = StandIn::Heap();
            const auto hooks = StandIn::InstalledHookCount(StandIn::LogoutKey);
            std::printf("%10llu %12llu %12llu %14zu %8zu %12llu\n", static_cast<unsigned long long>(cycle),
                        static_cast<unsigned long long>(heap.liveBlocks),
                        static_cast<unsigned long long>(heap.liveBytes), Registrations(), hooks,
                        static_cast<unsigned long long>(StandIn::ResidentKiB()));
            Expect(heap.liveBlocks == heapAtStart.liveBlocks, "engine blocks left after a cycle");
            Expect(Registrations() == 0 && hooks == 0, "registrations left after a cycle");
        }
    }
    StandIn::Forget(player);
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t lines = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    std::uint64_t cycles = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 10000;
    if (lines < 10 || cycles < 10) {
        std::fprintf(stderr, "usage: lumora-soak [CHAT_LINES>=10] [LOAD_CYCLES>=10]\n");
        return 2;
    }
    const fs::path server = StandIn::NewServerFolder("lumora-soak");
    StandIn::StartHost({server, false, false});
    std::printf("== %llu chat lines from 100 players\n", static_cast<unsigned long long>(lines));
    ChatPhase(lines, 100);
    std::printf("== %llu load and unload cycles of %s\n", static_cast<unsigned long long>(cycles), LUMORA_PLUGIN_PATH);
    std::error_code error;
    StandIn::InstallPlugin(server, "Lumora", LUMORA_PLUGIN_PATH, error);
    if (error) {
        std::printf("could not install %s: %s\n", LUMORA_PLUGIN_PATH, error.message().c_str());
        return 1;
    }
    CyclePhase(cycles);
    StandIn::StopHost();
    fs::remove_all(server);
    std::printf(failed ? "result: DRIFT\n" : "result: flat\n");
    return failed ? 1 : 0;
}
