// The fps command end to end, for players driven by chat lines as the host delivers them.

#include <filesystem>

#include <gmock/gmock.h>

#include "client/ClientConsole.h"
#include "command/ChatReply.h"
#include "host/EngineString.h"
#include "support/PluginFixture.h"

using namespace Lumora;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using TestSupport::PluginFixture;

namespace {

const std::string Enabled(const char* shown) { return std::string("Applied the ") + shown + " performance preset."; }
const char* const Disabled = "Baseline applied. This does not restore your original settings.";
const char* const Usage = "Usage: /fps [on|off|low|medium|high|epic|status|help]";
const char* const CharacterNameKey = "AShooterPlayerController.GetPlayerCharacterName()";

class FpsCommandTest : public PluginFixture {
protected:
    void SetUp() override {
        PluginFixture::SetUp();
        alice = StandIn::Join("Alice");
    }
    AShooterPlayerController* alice = nullptr;
};

TEST_F(FpsCommandTest, BareAliasTogglesBetweenDefaultAndBaseline) {
    const auto& presets = CurrentConfig.Presets;
    Say(alice, "/fps");
    EXPECT_THAT(Received(alice), ElementsAreArray(presets.at("medium")));
    EXPECT_THAT(Replies(alice), ElementsAre(Enabled("Medium")));
    EXPECT_EQ(Active(alice), "medium");
    Say(alice, "fps");
    EXPECT_THAT(Received(alice), ElementsAreArray(CurrentConfig.OffCommands));
    EXPECT_THAT(Replies(alice), ElementsAre(Disabled));
    EXPECT_EQ(Active(alice), "");
    Say(alice, "/FPS   ");
    EXPECT_THAT(Received(alice), ElementsAreArray(presets.at("medium")));
    EXPECT_EQ(Active(alice), "medium");
    EXPECT_THAT(Messages(), ElementsAre("Lumora: 'Alice' applied the Medium preset (21 commands)",
                                        "Lumora: 'Alice' applied the configured baseline (25 commands)",
                                        "Lumora: 'Alice' applied the Medium preset (21 commands)"));
    EXPECT_EQ(StandIn::ClientCvars(alice).at("r.ShadowQuality"), "1");
}

TEST_F(FpsCommandTest, EveryActionRepliesAndKeepsTheTable) {
    struct Step {
        const char* line;
        std::vector<std::string> replies;
        const char* active;
        std::size_t commands;
    } steps[] = {
        {"/fps status", {ReplyText(FixedReply::NoActivePreset)}, "", 0},
        {"/fps off", {Disabled}, "", 25},
        {"/fps on", {Enabled("Medium")}, "medium", 21},
        {"/fps on", {Enabled("Medium")}, "medium", 21},
        {"/fps status", {"Active Lumora preset: Medium."}, "medium", 0},
        {"/fps low", {Enabled("Low")}, "low", 21},
        {"/fps HIGH", {Enabled("High")}, "high", 21},
        {"/fps epic", {Enabled("Epic")}, "epic", 21},
        {"/fps status", {"Active Lumora preset: Epic."}, "epic", 0},
        {"/fps help", {CurrentConfig.HelpMessage}, "epic", 0},
        {"/fps low now", {Usage}, "epic", 0},
        {"/fps lowest", {Usage}, "epic", 0},
        {"/fps on,", {Usage}, "epic", 0},
        {"/fps", {Disabled}, "", 25},
        {"/fps status", {ReplyText(FixedReply::NoActivePreset)}, "", 0},
    };
    for (const auto& step : steps) {
        Say(alice, step.line);
        EXPECT_EQ(Replies(alice), step.replies) << step.line;
        EXPECT_EQ(Active(alice), step.active) << step.line;
        EXPECT_EQ(Received(alice).size(), step.commands) << step.line;
    }
    EXPECT_EQ(StandIn::ClientCvars(alice).at("r.VSync"), "1");
    EXPECT_EQ(Messages().size(), 7u) << "one usage line per application, none for status, help or usage";
}

TEST_F(FpsCommandTest, DefaultPresetIsRememberedByItsName) {
    config.DefaultPreset = "high";
    Run(alice, "/fps on");
    Run(alice, "/fps status");
    EXPECT_THAT(Replies(alice), ElementsAre(Enabled("High"), "Active Lumora preset: High."));
    EXPECT_EQ(Active(alice), "high");
}

TEST_F(FpsCommandTest, FailureOnTheThirdCommandStopsTheList) {
    Say(alice, "/fps low");
    Received(alice);
    Replies(alice);
    StandIn::ClearLog();
    for (const char* line : {"/fps epic", "/fps off"}) {
        StandIn::FaultRpcFailsAfter(alice, 2);
        Say(alice, line);
        const bool baseline = std::string(line) == "/fps off";
        const CommandList& list = baseline ? CurrentConfig.OffCommands : CurrentConfig.Presets.at("epic");
        EXPECT_THAT(Received(alice), ElementsAre(list[0], list[1])) << line;
        EXPECT_THAT(Replies(alice),
                    ElementsAre(baseline ? ReplyText(FixedReply::BaselineFailed) : ReplyText(FixedReply::PresetFailed)))
            << line;
        EXPECT_EQ(Active(alice), "low") << line;
        EXPECT_THAT(Messages(), ElementsAre("Lumora: ClientRunLocalConsoleCommand RPC was not found; client command "
                                            "was not sent"))
            << line;
        StandIn::ClearLog();
    }
}

TEST_F(FpsCommandTest, MissingRemoteCallWritesExactlyOneLineAndNullClassNone) {
    auto* bob = StandIn::Join("Bob");
    StandIn::FaultNoRpc(alice);
    StandIn::FaultNullClass(bob);
    Say(alice, "/fps low");
    EXPECT_THAT(Received(alice), IsEmpty());
    EXPECT_THAT(Replies(alice), ElementsAre(ReplyText(FixedReply::PresetFailed)));
    EXPECT_THAT(StandIn::LogRecords(), ElementsAre(::testing::Field(&StandIn::LogRecord::level, "error")));
    EXPECT_THAT(Messages(), ElementsAre("Lumora: ClientRunLocalConsoleCommand RPC was not found; client command was "
                                        "not sent"));
    StandIn::ClearLog();
    Say(bob, "/fps off");
    EXPECT_THAT(Replies(bob), ElementsAre(ReplyText(FixedReply::BaselineFailed)));
    EXPECT_THAT(Messages(), IsEmpty());
    // The command is converted only once the remote call was found: a failed lookup makes no string.
    const auto allocations = StandIn::Heap().allocations;
    EXPECT_FALSE(SendClientConsoleCommand(alice, "r.ShadowQuality 1"));
    EXPECT_EQ(StandIn::Heap().allocations, allocations);
}

// Within one library instance: a stop forgets every player's preset, and a start whose file is bad
// installs the built-in configuration, not what an earlier start loaded.
TEST_F(FpsCommandTest, RestartForgetsPresetsAndFallsBackToTheBuiltInConfiguration) {
    const auto file = StandIn::PluginFolder(server.path(), "Lumora") / "config.json";
    TestSupport::WriteFile(file, R"({"ChatCommands": ["/perf"], "DefaultPreset": "epic", "Sender": "S",
                                     "LogUsage": false, "OffCommands": ["r.Fog 1"]})");
    Plugin_Unload();
    StandIn::RemoveRegistrationsOf("");
    Plugin_Init();
    EXPECT_THAT(CurrentConfig.ChatCommands, ElementsAre("/perf"));
    config = CurrentConfig;  // the replies come under the loaded sender
    Say(alice, "/perf");
    EXPECT_EQ(Active(alice), "epic");
    EXPECT_THAT(Replies(alice), ElementsAre(Enabled("Epic")));
    Plugin_Unload();
    StandIn::RemoveRegistrationsOf("");
    EXPECT_TRUE(ActivePresetTable.empty());
    TestSupport::WriteFile(file, R"({"LogUsage": 1})");
    Plugin_Init();
    EXPECT_TRUE(CurrentConfig == BuiltInConfig()) << "every field built in, none kept from the earlier start";
    config = CurrentConfig;
    Say(alice, "/fps status");
    EXPECT_THAT(Replies(alice), ElementsAre(ReplyText(FixedReply::NoActivePreset)));
}

TEST_F(FpsCommandTest, EveryCommandRepeatsEveryLookup) {
    StandIn::ResetLookupCounts();
    Say(alice, "/fps epic");
    for (const char* key :
         {"UObjectBase.ClassPrivate", "FName.FName(char*,EFindName)",
          "UClass.FindFunctionByName(FName,EIncludeSuperFlag::Type)", "AActor.ProcessEvent(UFunction*,void*)"}) {
        EXPECT_EQ(StandIn::LookupCount(key), 21u) << key;
    }
    EXPECT_EQ(StandIn::LookupCount(CharacterNameKey), 1u);
    const auto names = StandIn::NameRequests();
    ASSERT_EQ(names.size(), 21u);
    for (const auto& name : names) {
        EXPECT_EQ(name.name, "ClientRunLocalConsoleCommand");
        EXPECT_EQ(name.findType, FNAME_Add);
    }
}

// Whatever a line does, every engine-heap block it takes is given back by the time it is handled
// (how many it takes is a cost: scripts/measure/bench-instructions counts them).
TEST_F(FpsCommandTest, EveryLineGivesBackTheEngineHeapItTook) {
    for (const char* line :
         {"/fps low", "/fps off", "/fps", "/fps status", "/fps lowest", "/fps low now", "/fps help"}) {
        for (const bool logUsage : {true, false}) {
            config.LogUsage = logUsage;
            const auto before = StandIn::Heap();
            Run(alice, line);
            const auto after = StandIn::Heap();
            EXPECT_EQ(after.liveBlocks, before.liveBlocks) << line;
            EXPECT_EQ(after.liveBytes, before.liveBytes) << line;
            EXPECT_GT(after.allocations, before.allocations) << line << ": the line was handled";
        }
    }
}

TEST_F(FpsCommandTest, EmptyBaselineSendsNothingAndStillSucceeds) {
    config.OffCommands.clear();
    Run(alice, "/fps low");
    Received(alice);
    Replies(alice);
    Run(alice, "/fps off");
    EXPECT_THAT(Received(alice), IsEmpty());
    EXPECT_THAT(Replies(alice), ElementsAre(Disabled));
    EXPECT_EQ(Active(alice), "");
    EXPECT_EQ(Messages().back(), "Lumora: 'Alice' applied the configured baseline (0 commands)");
}

TEST_F(FpsCommandTest, UsageLoggingOffFetchesNoName) {
    config.LogUsage = false;
    StandIn::ResetLookupCounts();
    Run(alice, "/fps low");
    Run(alice, "/fps off");
    EXPECT_EQ(StandIn::LookupCount(CharacterNameKey), 0u);
    EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(FpsCommandTest, LogoutForgetsThePlayer) {
    Say(alice, "/fps epic");
    StandIn::Leave(alice);
    EXPECT_EQ(Active(alice), "");
    StandIn::Rejoin(alice);
    Replies(alice);
    Say(alice, "/fps status");
    EXPECT_THAT(Replies(alice), ElementsAre(ReplyText(FixedReply::NoActivePreset)));
    Say(alice, "/fps");
    EXPECT_THAT(Replies(alice), ElementsAre(Enabled("Medium")));
}

TEST_F(FpsCommandTest, ConfiguredTextsArriveAsConfigured) {
    config.Sender = "Sérveur ☃";
    config.EnabledMessage = "{preset} and {preset} {} {0} {PRESET}";
    config.DisabledMessage = "{preset} off {}";
    config.UsageMessage = "";
    config.HelpMessage = "Hilfe: größer {:x}";
    config.Presets["low"] = {"r.Fancy ünï 1"};
    auto* hero = StandIn::Join("Hélène 🐉");
    Run(hero, "/fps low");
    Run(hero, "/fps off");
    Run(hero, "/fps what");
    Run(hero, "/fps help");
    EXPECT_THAT(Replies(hero),
                ElementsAre("Low and {preset} {} {0} {PRESET}", "{preset} off {}", "", "Hilfe: größer {:x}"));
    EXPECT_EQ(StandIn::ClientCommands(hero).front(), "r.Fancy ünï 1");
    EXPECT_EQ(Messages().front(), "Lumora: 'Hélène 🐉' applied the Low preset (1 commands)");
}

// A character name is text from outside: the usage line shows it escaped and cut, the host's log
// file stays valid UTF-8 with short lines, and the player gets the preset like anyone else.
TEST_F(FpsCommandTest, HostileCharacterNamesAreShownSafely) {
    struct Case {
        std::u16string name;
        std::string shown;
    } cases[] = {
        {u"A\xD800"
         "B",
         "A?B"},
        {u"evil\n12/07/26 09:15 [Lumora][error] forged", "evil\\n12/07/26 09:15 [Lumora][error] forged"},
        {u"\x1B]0;owned\x07\x1B[2J\x7F\x85", "\\x1B]0;owned\\x07\\x1B[2J\\x7F\\u0085"},
        {u"\x202E"
         "desrever",
         "\\u202Edesrever"},
        {std::u16string(1 << 20, u'a'), std::string(64, 'a') + "... (cut: 1048576 bytes in all)"},
        // A quote would close the name and let it write a second statement; a spelt escape must
        // read apart from an escaped control.
        {u"bob' applied the Low preset (25 commands); 'alice", "bob\\' applied the Low preset (25 commands); \\'alice"},
        {u"\\x1B\x1B", "\\\\x1B\\x1B"},
    };
    for (const auto& c : cases) {
        auto* player = StandIn::JoinWide(c.name);
        Say(player, "/fps low");
        EXPECT_EQ(Messages().back(), "Lumora: '" + c.shown + "' applied the Low preset (21 commands)");
        EXPECT_EQ(Received(player).size(), 21u);
        EXPECT_THAT(Replies(player), ElementsAre(Enabled("Low")));
    }
    EXPECT_GT(TestSupport::SafeLogFileLines().size(), std::size(cases));
}

TEST_F(FpsCommandTest, NoMessengerDropsOnlyTheReply) {
    StandIn::FaultNoMessenger(true);
    Say(alice, "/fps high");
    EXPECT_THAT(Replies(alice), IsEmpty());
    EXPECT_EQ(Active(alice), "high");
    EXPECT_EQ(Received(alice).size(), 21u);
}

TEST_F(FpsCommandTest, MessengerIsAskedForWithThisModulesPath) {
    Say(alice, "/fps help");
    auto requests = StandIn::MessengerRequests();
    ASSERT_EQ(requests.size(), 1u);
#if defined(_WIN32)
    EXPECT_FALSE(requests[0].empty());
#else
    EXPECT_EQ(std::filesystem::weakly_canonical(requests[0]), std::filesystem::read_symlink("/proc/self/exe"))
        << "the file this code is in";
#endif
}

TEST_F(FpsCommandTest, PresetMissingFromTheRecordIsReported) {
    config.Presets.erase("epic");
    Run(alice, "/fps epic");
    EXPECT_THAT(Replies(alice), ElementsAre(ReplyText(FixedReply::PresetNotAvailable)));
    EXPECT_THAT(Received(alice), IsEmpty());
}

// Nothing the engine throws reaches the host, which would end the server: the line is logged and
// the table keeps what it held.
TEST_F(FpsCommandTest, EngineExceptionsStayInsideTheCallback) {
    Say(alice, "/fps low");
    Replies(alice);
    StandIn::ClearLog();
    StandIn::FaultEngineThrows(true);
    for (const char* line : {"/fps epic", "/fps off", "/fps status"}) {
        EXPECT_NO_THROW(Say(alice, line)) << line;
        EXPECT_EQ(Active(alice), "low") << line;
    }
    EXPECT_THAT(Received(alice).size(), 21u) << "only the first preset";
    EXPECT_THAT(Messages(), ElementsAre("Lumora: the fps command failed: engine fault in ProcessEvent",
                                        "Lumora: the fps command failed: engine fault in ProcessEvent",
                                        "Lumora: the fps command failed: engine fault in ClientChatMessage"));
    EXPECT_EQ(StandIn::LogRecords().back().level, "error");
}

TEST_F(FpsCommandTest, NullArgumentsDoNothing) {
    HandleFpsCommand(nullptr, nullptr, 0, 0);
    FString line("/fps low");
    HandleFpsCommand(nullptr, &line, 0, 0);
    HandleFpsCommand(alice, nullptr, 0, 0);
    EXPECT_THAT(StandIn::ChatLines(), IsEmpty());
    EXPECT_THAT(StandIn::ClientCommands(alice), IsEmpty());
}

}  // namespace
