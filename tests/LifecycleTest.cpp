// The plugin as the host runs it: the built library loaded with the dynamic loader from a server
// folder, started, used by players, stopped and unloaded.

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include <gmock/gmock.h>

#include "generated/Version.h"
#include "host/Messages.h"
#include "support/TestSupport.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;
using ::testing::Not;
using TestSupport::HostTest;

namespace {

// The loaded line, whose version and host version come from the build's one definition.
std::string Loaded(const std::string& aliases, const std::string& preset) {
    return "Lumora " LUMORA_VERSION " loaded for ASAAPI " LUMORA_HOST_VERSION " (" + aliases +
           " chat aliases, default " + preset + ", baseline 25 commands)";
}
const std::string LoadedBuiltIn = Loaded("2", "Medium");

class LifecycleTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        library = TestSupport::InstallPlugin(server.path(), "Lumora", LUMORA_PLUGIN_PATH);
        pluginDir = library.parent_path();
    }
    void TearDown() override {
        if (StandIn::PluginLoaded("Lumora")) {
            Unload();
        }
        HostTest::TearDown();
    }
    void WriteConfig(const std::string& json) { TestSupport::WriteFile(pluginDir / "config.json", json); }
    static std::vector<std::string> Replies() {
        std::vector<std::string> texts;
        for (const auto& line : TakeChatLines()) {
            texts.push_back(line.text);
        }
        return texts;
    }

    std::filesystem::path pluginDir;
    std::filesystem::path library;
};

TEST_F(LifecycleTest, MissingOrBadFileFallsBackToTheBuiltInConfiguration) {
    const std::string path = server.path().string() + "/ArkApi/Plugins/Lumora/config.json";
    struct Case {
        const char* file;  // nullptr: no file
        std::string reason;
    } cases[] = {{nullptr, "could not open " + path},
                 {R"({"ChatCommands": ["/x"], "LogUsage": "yes"})", "LogUsage must be true or false"}};
    for (const auto& c : cases) {
        if (c.file != nullptr) {
            WriteConfig(c.file);
        }
        StandIn::ClearLog();
        Load();
        EXPECT_THAT(Messages(), ElementsAre("Lumora: invalid configuration: " + c.reason,
                                            "Lumora: using built-in defaults", LoadedBuiltIn));
        auto records = StandIn::LogRecords();
        EXPECT_EQ(records[0].level, "error");
        EXPECT_EQ(records[1].level, "warning");
        EXPECT_EQ(records[2].level, "info");
        EXPECT_THAT(StandIn::RegisteredChatCommands(), ElementsAre("/fps"));
        EXPECT_THAT(StandIn::ChatMessageCallbackIds(), ElementsAre("Lumora"));
        EXPECT_EQ(StandIn::InstalledHookCount(StandIn::LogoutKey), 1u);
        Unload();
    }
#if !defined(_WIN32)
    // A named pipe in the file's place: start-up neither blocks on it nor reads it.
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    StandIn::ClearLog();
    Load();
    EXPECT_THAT(Messages(), ElementsAre("Lumora: invalid configuration: could not open " + path,
                                        "Lumora: using built-in defaults", LoadedBuiltIn));
#endif
}

// Whatever bytes config.json holds, the host's log file stays UTF-8, and one bad file costs one
// short line.
TEST_F(LifecycleTest, TheLogFileStaysValidUtf8) {
    const std::string files[] = {
        "{\"Sender\": \"Caf\xE9\"}",
        std::string("\xFF\xFE{\0}\0", 6),
        "{\"Sender\": \"" + std::string(1'000'000, 'a') + "\x01\"}",
        "{\"Sender\": \"\x7F\xC2\x9B\xE2\x80\xAE\n[Lumora][error] forged",
    };
    for (const auto& file : files) {
        WriteConfig(file);
        StandIn::ClearLog();
        Load();
        Unload();
        const auto message = Messages().at(0);
        EXPECT_THAT(message, ::testing::StartsWith("Lumora: invalid configuration: [json.exception.parse_error"));
        EXPECT_LT(message.size(), 400u);
    }
    const auto lines = TestSupport::SafeLogFileLines();  // DEL counts as a control character too
    EXPECT_THAT(lines, Contains(::testing::HasSubstr("last read: '\"Caf\\xE9\"'")));
    EXPECT_THAT(lines, Contains(::testing::HasSubstr("last read: '\"\\x7F\\u009B\\u202E<U+000A>'")));
}

// Command aliases become chat commands in order; word aliases share one chat-message callback. At
// unload the host takes back exactly these by the plugin's module: the plugin removes nothing by text.
TEST_F(LifecycleTest, AliasesRegisterInOrderAndTheHostTakesThemBack) {
    WriteConfig(R"({"ChatCommands": ["fps", "/perf", "/fps", "fps", "perf"], "DefaultPreset": "LOW"})");
    Load();
    EXPECT_THAT(Messages(), ElementsAre(Loaded("4", "Low")));
    EXPECT_THAT(StandIn::RegisteredChatCommands(), ElementsAre("/fps", "/perf"));
    EXPECT_THAT(StandIn::ChatMessageCallbackIds(), ElementsAre("Lumora"));
    auto* alice = StandIn::Join("Alice");
    EXPECT_TRUE(StandIn::Chat(alice, "/PERF"));
    EXPECT_THAT(Replies(), ElementsAre("Applied the Low performance preset."));
    EXPECT_EQ(StandIn::ClientCommands(alice).size(), 25u) << "21 built-in commands and 4 forced";
    EXPECT_TRUE(StandIn::Chat(alice, "PERF status"));
    EXPECT_THAT(Replies(), ElementsAre("Active Lumora preset: Low."));
    const auto heap = StandIn::Heap();
    StandIn::ClearLog();
    Unload();
    EXPECT_THAT(StandIn::RegistryCalls(), Not(Contains(Field(&StandIn::RegistryCall::registered, false))));
    EXPECT_EQ(StandIn::RemovedAtUnload(), (StandIn::Registrations{{"/fps", "/perf"}, {"Lumora"}, {}, {}}));
    EXPECT_THAT(StandIn::RegisteredChatCommands(), IsEmpty());
    EXPECT_THAT(StandIn::ChatMessageCallbackIds(), IsEmpty());
    EXPECT_EQ(StandIn::InstalledHookCount(StandIn::LogoutKey), 0u) << "the plugin took its own detour out";
    EXPECT_THAT(Messages(), ElementsAre("Lumora unloaded"));
    EXPECT_EQ(heap.liveBlocks - StandIn::Heap().liveBlocks, 4u) << "the four aliases' strings, and nothing else";
}

// The host calls the entry points without a handler: nothing thrown inside may reach it.
TEST_F(LifecycleTest, HostFaultsStayInsideTheEntryPoints) {
    WriteConfig("{}");
    StandIn::FaultHostThrows(true);
    Load();
    EXPECT_THAT(Messages(), ElementsAre("Lumora: start-up failed: host fault in AddChatCommand"));
    StandIn::FaultHostThrows(false);
    Unload();
    WriteConfig("{}");
    Load();
    StandIn::FaultHostThrows(true);
    StandIn::ClearLog();
    Unload();
    EXPECT_THAT(Messages(), ElementsAre("Lumora: unload failed: host fault in DisableHook"));
    EXPECT_EQ(StandIn::RemovedAtUnload(), (StandIn::Registrations{{"/fps"}, {"Lumora"}, {}, {StandIn::LogoutKey}}));
}

TEST_F(LifecycleTest, RefusedHookCostsAWarningOnly) {
    StandIn::FaultRefuseHook(true);
    WriteConfig("{}");
    Load();
    EXPECT_THAT(Messages(), ElementsAre("Lumora: logout cleanup hook was not installed", Loaded("2", "Medium")));
    auto* alice = StandIn::Join("Alice");
    StandIn::Chat(alice, "/fps high");
    EXPECT_THAT(Replies(), ElementsAre("Applied the High performance preset."));
    Unload();
    const auto calls = StandIn::HookCalls();
    ASSERT_EQ(calls.size(), 1u) << "a hook that was never installed is not removed";
    EXPECT_TRUE(calls[0].install);
    EXPECT_FALSE(calls[0].result);
}

TEST_F(LifecycleTest, LogoutForgetsThePlayerBeforeTheEnginesLogout) {
    WriteConfig("{}");
    Load();
    auto* alice = StandIn::Join("Alice");
    StandIn::Chat(alice, "/fps epic");
    Replies();
    std::vector<std::string> atEngineLogout;
    StandIn::SetEngineLogoutObserver([&](AShooterGameMode* mode, AController* exiting) {
        EXPECT_EQ(mode, StandIn::GameMode());
        EXPECT_EQ(static_cast<void*>(exiting), static_cast<void*>(alice));
        StandIn::Chat(alice, "/fps status");
        atEngineLogout = Replies();
    });
    StandIn::Leave(alice);
    EXPECT_THAT(atEngineLogout, ElementsAre("No Lumora preset is active. /fps on uses the configured default."));
    StandIn::SetEngineLogoutObserver(nullptr);

    StandIn::Rejoin(alice);
    StandIn::Chat(alice, "/fps status");
    StandIn::Chat(alice, "/fps");
    EXPECT_THAT(Replies(), ElementsAre("No Lumora preset is active. /fps on uses the configured default.",
                                       "Applied the Medium performance preset."));

    int engineCalls = 0;
    StandIn::SetEngineLogoutObserver([&](AShooterGameMode*, AController* exiting) {
        EXPECT_EQ(exiting, nullptr);
        engineCalls++;
    });
    StandIn::CallLogout(nullptr);
    EXPECT_EQ(engineCalls, 1) << "a null controller still reaches the engine";
    StandIn::SetEngineLogoutObserver(nullptr);
}

// The host's sinks keep working after the library is gone: nothing in them points into it.
TEST_F(LifecycleTest, HostLogsAfterThePluginIsUnloaded) {
    Load();
    Unload();
    EXPECT_FALSE(StandIn::LibraryMapped(library));
    StandIn::ClearLog();
    StandIn::HostLog("still here");
    const auto records = StandIn::LogRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_THAT(records[0].line, ::testing::EndsWith(" [API][info] still here"));
}

TEST_F(LifecycleTest, ReloadRegistersOnlyOnce) {
    WriteConfig("{}");
    Load();
    Unload();
    WriteConfig(R"({"ChatCommands": ["/a", "/b", "/c"]})");
    StandIn::ClearLog();
    Load();
    EXPECT_THAT(StandIn::RegisteredChatCommands(), ElementsAre("/a", "/b", "/c"));
    EXPECT_THAT(Messages(), ElementsAre(Loaded("3", "Medium")));
    EXPECT_EQ(StandIn::InstalledHookCount(StandIn::LogoutKey), 1u);
}

TEST_F(LifecycleTest, SecondInitWithoutUnloadReleasesTheFirst) {
    WriteConfig("{}");
    Load();
    EXPECT_EQ(TestSupport::ProcessSymbol("Plugin_Init"), nullptr) << "the plugin's symbols stay its own";
    ASSERT_TRUE(StandIn::LibraryMapped(library));
    std::string error;
    void* handle = StandIn::OpenLibrary(library, error);  // one more reference to the loaded library
    ASSERT_NE(handle, nullptr) << error;
    auto init = reinterpret_cast<void (*)()>(StandIn::FindSymbol(handle, "Plugin_Init"));
    StandIn::ClearLog();
    init();
    EXPECT_THAT(StandIn::RegisteredChatCommands(), ElementsAre("/fps"));
    EXPECT_THAT(StandIn::ChatMessageCallbackIds(), ElementsAre("Lumora"));
    EXPECT_EQ(StandIn::InstalledHookCount(StandIn::LogoutKey), 1u);
    EXPECT_EQ(Messages().back(), LoadedBuiltIn);
    // A third start with other aliases: the earlier "/fps" stays registered and answers, so it counts.
    WriteConfig(R"({"ChatCommands": ["/a", "/b"]})");
    init();
    StandIn::CloseLibrary(handle);
    EXPECT_THAT(StandIn::RegisteredChatCommands(), ElementsAre("/fps", "/a", "/b"));
    EXPECT_EQ(Messages().back(), Loaded("3", "Medium"));
}

TEST_F(LifecycleTest, UnloadWithoutInitIsHarmless) {
    std::string error;
    void* handle = StandIn::OpenLibrary(library, error);
    ASSERT_NE(handle, nullptr) << error;
    reinterpret_cast<void (*)()>(StandIn::FindSymbol(handle, "Plugin_Unload"))();
    EXPECT_TRUE(StandIn::CloseLibrary(handle));
    EXPECT_THAT(StandIn::RegistryCalls(), IsEmpty());
    EXPECT_THAT(StandIn::HookCalls(), IsEmpty());
}

// The messenger gets the library's own path, in any folder. config.json is found by the host's
// working folder, which the host gives in the ANSI code page on Windows: a server in a folder whose
// name has a character outside it (here U+2603) runs on the built-in configuration there.
TEST_F(LifecycleTest, MessengerGetsThePathTheLibraryWasLoadedFrom) {
    const auto odd = server.path() / std::filesystem::path(u8"Ark Server é☃");
    StandIn::StartHost({odd, false, false});
    const auto installed = TestSupport::InstallPlugin(odd, "Lumora", LUMORA_PLUGIN_PATH);
    TestSupport::WriteFile(StandIn::PluginFolder(odd, "Lumora") / "config.json", R"({"Sender": "Odd"})");
    Load();
    auto* alice = StandIn::Join("Alice");
    StandIn::Chat(alice, "/fps help");
    const auto requests = StandIn::MessengerRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(std::filesystem::path(std::u8string(requests[0].begin(), requests[0].end())).lexically_normal(),
              installed.lexically_normal());
#if defined(_WIN32)
    const bool ansiLacksIt = GetACP() != CP_UTF8;
#else
    const bool ansiLacksIt = false;
#endif
    ASSERT_EQ(StandIn::ChatLines().size(), 1u);
    EXPECT_EQ(StandIn::ChatLines()[0].sender, ansiLacksIt ? "Lumora" : "Odd");
    if (ansiLacksIt) {
        EXPECT_THAT(Messages(), Contains(::testing::HasSubstr("invalid configuration: could not open ")));
    }
}

TEST_F(LifecycleTest, ThousandCyclesLeaveNothingBehind) {
    WriteConfig(R"({"ChatCommands": ["/fps", "fps", "/perf"]})");
    auto* alice = StandIn::Join("Alice");
    const auto heap = StandIn::Heap();
    std::uint64_t residentAfterWarmUp = 0;
    // Fewer under valgrind, where each load costs a great deal more; LUMORA_E2E_CYCLES says how many.
    const std::string configured = TestSupport::EnvironmentVariable("LUMORA_E2E_CYCLES");
    const int cycles = configured.empty() ? 1000 : std::max(std::atoi(configured.c_str()), 100);
    for (int i = 0; i < cycles; ++i) {
        Load();
        StandIn::Chat(alice, "/fps low");
        StandIn::Chat(alice, "/fps status");
        StandIn::Chat(alice, "/perf");
        Unload();
        StandIn::ClearRecords();
        StandIn::ClearClientCommands(alice);
        if (i == 99) {
            residentAfterWarmUp = StandIn::ResidentKiB();
        }
    }
    EXPECT_THAT(StandIn::RegisteredChatCommands(), IsEmpty());
    EXPECT_EQ(StandIn::InstalledHookCount(StandIn::LogoutKey), 0u);
    EXPECT_EQ(StandIn::Heap().liveBlocks, heap.liveBlocks);
    EXPECT_EQ(StandIn::Heap().liveBytes, heap.liveBytes);
    std::printf("resident memory after 100 cycles: %llu KiB, after %d: %llu KiB\n",
                static_cast<unsigned long long>(residentAfterWarmUp), cycles,
                static_cast<unsigned long long>(StandIn::ResidentKiB()));
}

// A process that ends with the plugin still started releases its aliases at exit, while the host
// is still there to take them.
TEST(PluginExitTest, ExitWithoutUnloadIsClean) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TestSupport::TempDir server;
            StandIn::StartHost({server.path(), false, false});
            TestSupport::InstallPlugin(server.path(), "Lumora", LUMORA_PLUGIN_PATH);
            std::string error;
            if (!StandIn::LoadPlugin("Lumora", error, StandIn::PluginLoad::Command)) {
                std::exit(3);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
