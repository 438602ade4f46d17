// What a chat command costs the game thread, against its floor: the same number of ProcessEvent
// calls with ready-made parameter blocks, and nothing else.
//
//   lumora-bench [Google Benchmark options]   times every operation, with engine-heap allocations
//                                             and key lookups per operation as counters
//   lumora-bench --ops NAME COUNT             runs one operation COUNT times with callgrind's
//                                             collection switched on around the loop only

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT ((void)0)  // no valgrind on this system: --ops runs uncounted
#endif

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "AsaApiStandIn/Control.h"
#include "client/ClientConsole.h"
#include "config/ConfigLoader.h"
#include "facts/LargestFile.h"
#include "host/EngineString.h"
#include "plugin/Plugin.h"

namespace fs = std::filesystem;
using namespace Lumora;

namespace {

struct Fixture {
    fs::path server;
    AShooterPlayerController* player = nullptr;

    Fixture() {
        server = StandIn::NewServerFolder("lumora-bench");
        StandIn::StartHost({server, false, false});
        player = StandIn::Join("Bench");
    }
    ~Fixture() {
        StandIn::StopHost();
        fs::remove_all(server);
    }
    void WriteConfig(const std::string& text) {
        const auto path = StandIn::PluginFolder(server, "Lumora") / "config.json";
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    void RemoveConfig() { fs::remove(StandIn::PluginFolder(server, "Lumora") / "config.json"); }
    // Keeps the host's records from growing over a long run.
    void Tidy() {
        StandIn::ClearRecords();
        StandIn::ClearClientCommands(player);
    }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

// A "low" preset that holds this many commands once loaded, the forced ones included.
CommandList LowPresetOf(std::size_t commands) {
    CommandList list = BuiltInPresets().at("low");
    for (std::size_t i = 0; list.size() + 4 < commands; ++i) {
        list.push_back("r.Bench" + std::to_string(i) + " " + std::to_string(i % 7));
    }
    list.resize(commands - 4);
    return list;
}

std::string ConfigWithLowPreset(std::size_t commands) {
    return nlohmann::json{{"Presets", {{"low", LowPresetOf(commands)}}}}.dump();
}

// The floor for N commands: ready-made parameter blocks handed straight to ProcessEvent.
struct Floor {
    std::vector<ClientConsoleCommandParams> blocks;
    UFunction* function = nullptr;
    using ProcessEventFunc = void(__fastcall*)(DWORD64, UFunction*, void*);
    ProcessEventFunc processEvent = nullptr;
    AShooterPlayerController* player = nullptr;

    Floor(AShooterPlayerController* target, const CommandList& commands) : player(target) {
        for (const auto& command : commands) {
            blocks.push_back(ClientConsoleCommandParams{Utf8ToFString(command), false});
        }
        const FName name("ClientRunLocalConsoleCommand", FNAME_Add);
        function = player->ClassPrivateField()->FindFunctionByName(name, EIncludeSuperFlag::IncludeSuper);
        processEvent =
            reinterpret_cast<ProcessEventFunc>(GetAddress(std::string("AActor.ProcessEvent(UFunction*,void*)")));
    }
    void Run() {
        for (auto& block : blocks) {
            processEvent(reinterpret_cast<DWORD64>(player), function, &block);
        }
    }
};

// The least a plugin on the host's SDK can do for a preset: for each command the class field, the
// name, the function lookup, one engine string and ProcessEvent, then one chat reply, all through
// the SDK's own calls, nothing kept from one call to the next and nothing else. It is a chat
// command, so that the host's dispatch of the line is counted here as it is for the plugin.
struct SdkFloor {
    static inline CommandList commands;
    static inline std::string sender = "Lumora";
    static inline std::string reply = "Applied the Low performance preset.";

    static void Command(AShooterPlayerController* player, FString* /*line*/, int /*mode*/, int /*platform*/) {
        for (const std::string& command : commands) {
            UClass* playerClass = player->ClassPrivateField();
            const FName name("ClientRunLocalConsoleCommand", FNAME_Add);
            UFunction* function = playerClass->FindFunctionByName(name, EIncludeSuperFlag::IncludeSuper);
            ClientConsoleCommandParams params{FString(UTF8_TO_TCHAR(command.c_str())), false};
            player->ProcessEvent(function, &params);
        }
        AsaApi::GetApiUtils().GetMessagingManager()->SendChatMessage(
            player, FString(UTF8_TO_TCHAR(sender.c_str())), TEXT("{}"), *FString(UTF8_TO_TCHAR(reply.c_str())));
    }
};

// Every operation, by name: a set-up run once, then the operation itself.
struct Operation {
    std::function<void(Fixture&)> setUp;
    std::function<void(Fixture&)> run;
    std::function<void(Fixture&)> tearDown;
};

std::map<std::string, Operation> Operations() {
    std::map<std::string, Operation> ops;
    auto startWith = [](std::string config) {
        return [config](Fixture& f) {
            f.WriteConfig(config);
            Plugin_Init();
        };
    };
    // After Plugin_Unload the host takes back what the plugin registered.
    auto stop = [](Fixture&) {
        Plugin_Unload();
        StandIn::RemoveRegistrationsOf("");
    };
    auto chat = [](const char* line) { return [line](Fixture& f) { StandIn::Chat(f.player, line); }; };
    ops["preset25"] = {startWith(ConfigWithLowPreset(25)), chat("/fps low"), stop};
    ops["preset68"] = {startWith(ConfigWithLowPreset(68)), chat("/fps low"), stop};
    ops["baseline25"] = {startWith("{}"), chat("/fps off"), stop};
    ops["status"] = {startWith("{}"), chat("/fps status"), stop};
    ops["usage"] = {startWith("{}"), chat("/fps lowest"), stop};
    // An ordinary line of N bytes, no command, with the word alias "fps": what every chat line costs
    // with Lumora loaded ("line") and with no plugin at all ("hostline", the host's own dispatch).
    for (const int bytes : {1000, 64000}) {
        const std::string line = "hello " + std::string(static_cast<std::size_t>(bytes) - 6, 'a');
        auto say = [line](Fixture& f) { StandIn::Chat(f.player, line); };
        ops["line" + std::to_string(bytes)] = {startWith(R"({"ChatCommands": ["/fps", "fps"]})"), say, stop};
        ops["hostline" + std::to_string(bytes)] = {[](Fixture&) {}, say, [](Fixture&) {}};
    }
    // A line of the same length that begins with the word alias: "fps a a a ...".
    std::string aliasLine = "fps";
    while (aliasLine.size() < 64000) {
        aliasLine += " a";
    }
    ops["aliasline64000"] = {startWith(R"({"ChatCommands": ["/fps", "fps"]})"),
                             [aliasLine](Fixture& f) { StandIn::Chat(f.player, aliasLine); }, stop};
    static std::string largest;
    ops["loadconfig"] = {[](Fixture& f) {
                             largest = LargestValidFile(false);
                             f.WriteConfig(largest);
                         },
                         [](Fixture&) { benchmark::DoNotOptimize(LoadConfig()); }, [](Fixture&) {}};
    ops["initunload"] = {[](Fixture& f) { f.RemoveConfig(); },
                         [](Fixture&) {
                             Plugin_Init();
                             Plugin_Unload();
                             StandIn::RemoveRegistrationsOf("");
                         },
                         [](Fixture&) {}};
    for (std::size_t units : {127, 128}) {
        const std::string text(units, 'x');
        ops["toFString" + std::to_string(units)] = {
            [](Fixture&) {}, [text](Fixture&) { benchmark::DoNotOptimize(Utf8ToFString(text)); }, [](Fixture&) {}};
        static std::map<std::size_t, FString> wide;
        ops["toUtf8_" + std::to_string(units)] = {
            [units, text](Fixture&) { wide.emplace(units, Utf8ToFString(text)); },
            [units](Fixture&) { benchmark::DoNotOptimize(FStringToUtf8(wide.at(units))); },
            [units](Fixture&) { wide.erase(units); }};
    }
    ops["sdkfloor25"] = {[](Fixture&) {
                             SdkFloor::commands = LowPresetOf(25);
                             ApplyForcedCommands(SdkFloor::commands);
                             AsaApi::GetCommands().AddChatCommand(FString(TEXT("/floor")), &SdkFloor::Command);
                         },
                         chat("/floor low"),
                         [](Fixture&) { AsaApi::GetCommands().RemoveChatCommand(FString(TEXT("/floor"))); }};
    static std::unique_ptr<Floor> floor;
    for (std::size_t commands : {25, 68}) {
        ops["floor" + std::to_string(commands)] = {[commands](Fixture& f) {
                                                       // The very commands that the preset of this size sends.
                                                       CommandList list = LowPresetOf(commands);
                                                       ApplyForcedCommands(list);
                                                       floor = std::make_unique<Floor>(f.player, list);
                                                   },
                                                   [](Fixture&) { floor->Run(); }, [](Fixture&) { floor.reset(); }};
    }
    return ops;
}

void RunBenchmark(benchmark::State& state, const std::string& name) {
    Fixture& fixture = TheFixture();
    Operation op = Operations().at(name);
    op.setUp(fixture);
    op.run(fixture);  // warm
    fixture.Tidy();
    const auto heapBefore = StandIn::Heap();
    StandIn::ResetLookupCounts();
    std::uint64_t done = 0;
    for (auto _ : state) {
        op.run(fixture);
        if (++done % 256 == 0) {
            state.PauseTiming();
            fixture.Tidy();
            state.ResumeTiming();
        }
    }
    const auto heapAfter = StandIn::Heap();
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(heapAfter.allocations - heapBefore.allocations),
                                                  benchmark::Counter::kAvgIterations);
    state.counters["lookups"] =
        benchmark::Counter(static_cast<double>(StandIn::TotalLookups()), benchmark::Counter::kAvgIterations);
    fixture.Tidy();
    op.tearDown(fixture);
}

int RunOps(const std::string& name, long count) {
    auto ops = Operations();
    auto op = ops.find(name);
    if (op == ops.end() || count <= 0) {
        std::fprintf(stderr, "usage: lumora-bench --ops NAME COUNT; NAME is one of:");
        for (const auto& [known, unused] : ops) {
            std::fprintf(stderr, " %s", known.c_str());
        }
        std::fprintf(stderr, "\n");
        return 2;
    }
    Fixture& fixture = TheFixture();
    op->second.setUp(fixture);
    op->second.run(fixture);
    fixture.Tidy();
    std::uint64_t blocks = 0;
    for (long i = 0; i < count; ++i) {
        const std::uint64_t before = StandIn::Heap().allocations;
        CALLGRIND_TOGGLE_COLLECT;
        op->second.run(fixture);
        CALLGRIND_TOGGLE_COLLECT;
        blocks += StandIn::Heap().allocations - before;
        if (i % 256 == 255) {
            fixture.Tidy();
        }
    }
    op->second.tearDown(fixture);
    std::printf("engine-heap blocks per operation: %.2f\n", static_cast<double>(blocks) / static_cast<double>(count));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--ops") == 0) {
        return RunOps(argc > 2 ? argv[2] : "", argc > 3 ? std::atol(argv[3]) : 0);
    }
    for (const auto& entry : Operations()) {
        const std::string name = entry.first;
        benchmark::RegisterBenchmark(name.c_str(), [name](benchmark::State& state) { RunBenchmark(state, name); });
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
