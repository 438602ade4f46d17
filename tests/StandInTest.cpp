// The stand-in host and engine must be faithful where the plugin depends on them: the engine
// heap and keys, the chat path, hooks, strings, and the host's log class.

#include <ctime>
#include <fstream>
#include <regex>

#include <gmock/gmock.h>

#include "generated/Version.h"
#include "support/TestSupport.h"

using ::testing::ElementsAre;
using TestSupport::HostTest;

namespace {

using TestSupport::Units;

class StandInTest : public HostTest {};

TEST_F(StandInTest, HeapCountsBlocksAndCatchesDoubleAndForeignFrees) {
    StandIn::SetHeapMisuseFatal(false);
    void* block = FMemory::Malloc(10);
    EXPECT_EQ(StandIn::Heap().liveBlocks, heapAtStart.liveBlocks + 1);
    EXPECT_EQ(StandIn::Heap().liveBytes, heapAtStart.liveBytes + 10);
    block = FMemory::Realloc(block, 30);
    EXPECT_EQ(StandIn::Heap().liveBytes, heapAtStart.liveBytes + 30);
    EXPECT_EQ(FMemory::Realloc(block, 0), nullptr) << "a size of zero frees";
    FMemory::Free(block);
    int local = 0;
    FMemory::Free(&local);
    EXPECT_EQ(StandIn::Heap().misuses, heapAtStart.misuses + 2);
    StandIn::SetHeapMisuseFatal(true);
    checkHeap = false;
}

TEST(StandInDeathTest, HeapMisuseAndUnresolvedKeysEndTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    int local = 0;
    EXPECT_DEATH(FMemory::Free(&local), "not live");
    EXPECT_DEATH(GetAddress(std::string("Nothing.Here()")), "Failed to find the address of Nothing.Here\\(\\)");
    EXPECT_DEATH(
        {
            StandIn::FaultMissingKey("FGenericPlatformStricmp.Stricmp(wchar_t*,wchar_t*)");
            FGenericPlatformStricmp::Stricmp(TEXT("a"), TEXT("a"));
        },
        "Stricmp");
}

TEST_F(StandInTest, KeysAreCountedAtEveryLookup) {
    auto* player = StandIn::Join("alice");
    StandIn::ResetLookupCounts();
    EXPECT_NE(static_cast<UObjectBase*>(player)->ClassPrivateField(), nullptr);
    EXPECT_NE(static_cast<UObjectBase*>(player)->ClassPrivateField(), nullptr);
    EXPECT_EQ(StandIn::LookupCount("UObjectBase.ClassPrivate"), 2u);
    EXPECT_EQ(FGenericPlatformStricmp::Stricmp(TEXT("LoW"), TEXT("low")), 0);
    EXPECT_NE(FGenericPlatformStricmp::Stricmp(TEXT("lowest"), TEXT("low")), 0);
    EXPECT_EQ(StandIn::LookupCount("FGenericPlatformStricmp.Stricmp(wchar_t*,wchar_t*)"), 2u);
}

TEST_F(StandInTest, RemoteCallIsFoundThroughTheBaseClassAndDeliversTheCommand) {
    auto* player = StandIn::Join("alice");
    UClass* cls = player->ClassPrivateField();
    const FName name("ClientRunLocalConsoleCommand", FNAME_Add);
    EXPECT_EQ(cls->FindFunctionByName(name, EIncludeSuperFlag::ExcludeSuper), nullptr);
    UFunction* rpc = cls->FindFunctionByName(name, EIncludeSuperFlag::IncludeSuper);
    ASSERT_NE(rpc, nullptr);

    struct {
        FString command;
        bool flag;
    } block{FString(TEXT("r.ShadowQuality 1")), false};
    player->ProcessEvent(rpc, &block);
    EXPECT_THAT(StandIn::ClientCommands(player), ElementsAre("r.ShadowQuality 1"));
    EXPECT_EQ(StandIn::ClientCvars(player).at("r.ShadowQuality"), "1");

    StandIn::FaultRpcFailsAfter(player, 1);
    cls = player->ClassPrivateField();
    EXPECT_NE(cls->FindFunctionByName(name, EIncludeSuperFlag::IncludeSuper), nullptr);
    EXPECT_EQ(cls->FindFunctionByName(name, EIncludeSuperFlag::IncludeSuper), nullptr);

    auto* other = StandIn::Join("bob");
    StandIn::FaultNoRpc(other);
    EXPECT_EQ(other->ClassPrivateField()->FindFunctionByName(name, EIncludeSuperFlag::IncludeSuper), nullptr);
    StandIn::FaultNullClass(other);
    EXPECT_EQ(other->ClassPrivateField(), nullptr);
}

TEST_F(StandInTest, CharacterNameAndSplitting) {
    auto* player = StandIn::Join("Ünïcode Hero");
    FString name("");
    player->GetPlayerCharacterName(&name);
    EXPECT_EQ(StandIn::ToUtf8(name), "Ünïcode Hero");

    TArray<FString> words;
    EXPECT_EQ(FString(TEXT("  /fps   low  ")).ParseIntoArray(words, TEXT(" "), true), 2);
    ASSERT_EQ(words.Num(), 2);
    EXPECT_EQ(Units(words[0]), u"/fps");
    EXPECT_EQ(Units(words[1]), u"low");
    EXPECT_EQ(FString(TEXT("a")).ParseIntoArray(words, TEXT(" "), true), 1) << "the array is refilled";
}

// The registry as the host has it: first word, spaces only, whole word, any letter case, one line
// a second per player; the first matching command, then every chat-message callback with the same
// string of the line, then the line shown to everyone unless one of them took it.
TEST_F(StandInTest, RegistryMatchesTheFirstWordAndDropsLinesTooCloseTogether) {
    std::vector<std::pair<std::u16string, int>> calls;
    FString* commandLine = nullptr;
    auto callback = [&](AShooterPlayerController*, FString* line, int mode, int platform) {
        calls.emplace_back(Units(*line), mode);
        commandLine = line;
        EXPECT_EQ(platform, 7);
    };
    AsaApi::GetCommands().AddChatCommand(FString(TEXT("/fps")), callback);
    std::vector<bool> executed;
    AsaApi::GetCommands().AddOnChatMessageCallback(
        FString(TEXT("watcher")), [&](AShooterPlayerController*, FString* line, int, int platform, bool, bool command) {
            executed.push_back(command);
            EXPECT_TRUE(!command || line == commandLine) << "the host's one string of the line";
            EXPECT_EQ(platform, 7);
            return Units(*line) == u"take";
        });
    auto* player = StandIn::Join("alice");
    StandIn::SetPlatform(player, 7);
    struct Case {
        const char* line;
        bool command, taken;
    } cases[] = {{"/fps low", true, true},    {"  /FPS", true, true}, {"/fpslow", false, false},
                 {"/fps\tlow", false, false}, {"fps", false, false},  {"", false, false},
                 {"take", false, true}};
    std::vector<std::string> shown;
    for (const auto& c : cases) {
        commandLine = nullptr;
        EXPECT_EQ(StandIn::Chat(player, c.line, 2), c.taken) << c.line;
        EXPECT_EQ(executed.back(), c.command) << c.line;
        if (!c.taken) {
            shown.push_back(c.line);
        }
    }
    std::vector<std::string> shownByHost;
    for (const auto& line : StandIn::ShownChatLines()) {
        shownByHost.push_back(line.text);
    }
    EXPECT_EQ(shownByHost, shown);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], std::make_pair(std::u16string(u"/fps low"), 2));
    EXPECT_EQ(calls[1].first, u"  /FPS");
    EXPECT_TRUE(AsaApi::GetCommands().RemoveOnChatMessageCallback(FString(TEXT("WATCHER"))));
    EXPECT_TRUE(StandIn::ChatMessageCallbackIds().empty());

    std::vector<StandIn::Event::Kind> kinds;
    StandIn::SetEventListener([&](const StandIn::Event& event) { kinds.push_back(event.kind); });
    StandIn::SetChatSpacing(0.5);
    EXPECT_FALSE(StandIn::Chat(player, "/fps")) << "half a second after the previous line";
    EXPECT_TRUE(StandIn::Chat(player, "/fps")) << "a dropped line does not count as the previous one";
    StandIn::SetEventListener(nullptr);
    EXPECT_THAT(kinds, ElementsAre(StandIn::Event::Kind::ChatDropped));
    EXPECT_EQ(calls.size(), 3u);
    StandIn::SetChatSpacing(1);

    EXPECT_TRUE(AsaApi::GetCommands().RemoveChatCommand(FString(TEXT("/FPS"))));
    EXPECT_FALSE(AsaApi::GetCommands().RemoveChatCommand(FString(TEXT("/FPS"))));
    EXPECT_TRUE(StandIn::RegisteredChatCommands().empty());
}

// The host's chat path: spam_check as it computes it, a stored time of 0 read as no previous line, a
// callback removed by its text during a line still called for that line (from the host's copy of
// the list) and not after it, and the line shown as the callbacks left it.
TEST_F(StandInTest, ChatPathAsTheHostRunsIt) {
    std::vector<std::string> heard;
    AsaApi::GetCommands().AddOnChatMessageCallback(
        FString(TEXT("editor")), [&](AShooterPlayerController*, FString* line, int, int, bool spamCheck, bool) {
            heard.push_back(std::string(spamCheck ? "spam " : "") + "editor");
            if (Units(*line) == u"drop the other") {
                AsaApi::GetCommands().RemoveOnChatMessageCallback(FString(TEXT("other")));
            }
            *line = FString(TEXT("[edited]"));
            return false;
        });
    AsaApi::GetCommands().AddOnChatMessageCallback(FString(TEXT("other")),
                                                   [&](AShooterPlayerController*, FString*, int, int, bool, bool) {
                                                       heard.push_back("other");
                                                       return false;
                                                   });
    auto* player = StandIn::Join("alice");
    StandIn::SetChatSpacing(0);
    EXPECT_FALSE(StandIn::Chat(player, "at the game's start"));
    StandIn::SetChatSpacing(0.5);
    EXPECT_FALSE(StandIn::Chat(player, "drop the other")) << "a previous line at time 0 counts as none";
    EXPECT_FALSE(StandIn::Chat(player, "too soon"));
    StandIn::SetChatSpacing(1);
    EXPECT_FALSE(StandIn::Chat(player, "a second later"));
    EXPECT_THAT(heard, ElementsAre("spam editor", "other", "spam editor", "other", "editor"));
    ASSERT_EQ(StandIn::ShownChatLines().size(), 3u);
    EXPECT_EQ(StandIn::ShownChatLines()[0].text, "[edited]");
}

using LogoutFunc = void(__fastcall*)(AShooterGameMode*, AController*);
LogoutFunc Trampoline = nullptr;
std::vector<std::string> Order;
void __fastcall Detour(AShooterGameMode* mode, AController* exiting) {
    Order.push_back("detour");
    Trampoline(mode, exiting);
}

TEST_F(StandInTest, HooksChainInFrontOfTheHostsOwnDetour) {
    Order.clear();
    StandIn::SetEngineLogoutObserver([](AShooterGameMode*, AController*) { Order.push_back("engine"); });
    const std::string key = StandIn::LogoutKey;
    EXPECT_TRUE(AsaApi::GetHooks().SetHook(key, reinterpret_cast<LPVOID>(&Detour), &Trampoline));
    EXPECT_NE(Trampoline, nullptr);
    auto* player = StandIn::Join("alice");
    StandIn::Leave(player);
    EXPECT_THAT(Order, ElementsAre("detour", "engine"));
    EXPECT_TRUE(AsaApi::GetHooks().DisableHook(key, reinterpret_cast<LPVOID>(&Detour)));
    EXPECT_EQ(Trampoline, nullptr);
    StandIn::Rejoin(player);
    StandIn::Leave(player);
    EXPECT_THAT(Order, ElementsAre("detour", "engine", "engine"));
    StandIn::FaultRefuseHook(true);
    Trampoline = &Detour;
    EXPECT_FALSE(AsaApi::GetHooks().SetHook(key, reinterpret_cast<LPVOID>(&Detour), &Trampoline));
    EXPECT_EQ(Trampoline, nullptr);
    EXPECT_EQ(StandIn::InstalledHookCount(key), 0u);
}

TEST_F(StandInTest, RejoinKeepsTheAddressAndStartsAFreshClient) {
    auto* player = StandIn::Join("alice");
    StandIn::FaultNullClass(player);
    StandIn::Leave(player);
    EXPECT_FALSE(StandIn::IsConnected(player));
    EXPECT_EQ(StandIn::Rejoin(player), player);
    EXPECT_TRUE(StandIn::IsConnected(player));
    EXPECT_EQ(player->ClassPrivateField(), nullptr) << "faults stay";
    StandIn::ClearFaults();
    EXPECT_NE(player->ClassPrivateField(), nullptr);
}

TEST_F(StandInTest, ConverterNeverFails) {
    using namespace UE::Core::Private;
    struct Case {
        std::string utf8;
        int32 units;
    } cases[] = {{"abc", 3},  {"\xC3\xA9", 1}, {"\xF0\x9F\x98\x80", 2}, {"\xC3", 1}, {"\xC0\xAF", 2},
                 {"\xFF", 1}, {"", 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(
            GetConvertedLength(static_cast<const WIDECHAR*>(nullptr), reinterpret_cast<const UTF8CHAR*>(c.utf8.data()),
                               static_cast<int32>(c.utf8.size())),
            c.units)
            << c.utf8;
    }
    const WIDECHAR lone[] = {static_cast<WIDECHAR>(0xD800), 'a'};
    EXPECT_EQ(GetConvertedLength(static_cast<const UTF8CHAR*>(nullptr), lone, 2), 2);
    WIDECHAR small[1];
    EXPECT_EQ(Convert(small, 1, reinterpret_cast<const UTF8CHAR*>("ab"), 2), nullptr);
}

// Copies take a buffer of their own, moves take none, and every buffer goes back when its owner goes.
TEST_F(StandInTest, StringsOwnTheirBuffers) {
    const FString text(TEXT("abc"));
    StandIn::RecordAllocationSizes(true);
    {
        FString copy = text;
        EXPECT_THAT(StandIn::TakeAllocationSizes(), ElementsAre(8u)) << "count x 2 bytes";
        const FString moved = std::move(copy);
        EXPECT_TRUE(StandIn::TakeAllocationSizes().empty());
        EXPECT_EQ(StandIn::ToUtf8(moved), "abc");
        const FString empty;
        const FString emptyCopy = empty;
        EXPECT_TRUE(StandIn::TakeAllocationSizes().empty()) << "an empty copy allocates nothing";
    }
    TArray<FString> words;
    FString(TEXT("a b c")).ParseIntoArray(words, TEXT(" "), true);
    EXPECT_EQ(words.Num(), 3);
    StandIn::RecordAllocationSizes(false);
    // The fixture checks that the engine heap ends as it began.
}

std::string LocalStamp(std::time_t when) {
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%m/%d/%y %H:%M", &local);
    return buffer;
}

// The host's log class as the stand-in has it: the plugin's name twice, the pattern in local
// time, flushed on every line.
class StandInLogTest : public HostTest {};

TEST_F(StandInLogTest, LinesReachTheHostSinksFormattedAndFlushed) {
    Log::Get().Init(LUMORA_NAME);
    struct Case {
        spdlog::level::level_enum level;
        const char* name;
        std::string message;
    } cases[] = {{spdlog::level::info, "info", "Lumora: 'Ünï' applied the Low preset (25 commands)"},
                 {spdlog::level::warn, "warning", "Lumora: using built-in defaults"},
                 {spdlog::level::err, "error", "Lumora: invalid configuration: {} \"Ünï\""}};
    for (const auto& c : cases) {
        StandIn::ClearLog();
        auto flushes = StandIn::LogFlushCount();
        std::time_t before = std::time(nullptr);
        Log::GetLog()->log(c.level, "{}", c.message);
        std::time_t after = std::time(nullptr);
        EXPECT_GT(StandIn::LogFlushCount(), flushes) << "flushed before the write returns";
        auto records = StandIn::LogRecords();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].logger, "Lumora");
        EXPECT_EQ(records[0].level, c.name);
        const std::string suffix = std::string(" [Lumora][") + c.name + "] " + c.message;
        const std::string& line = records[0].line;
        ASSERT_GT(line.size(), suffix.size());
        EXPECT_EQ(line.substr(line.size() - suffix.size()), suffix);
        std::string stamp = line.substr(0, line.size() - suffix.size());
        EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d)"))) << stamp;
        EXPECT_TRUE(stamp == LocalStamp(before) || stamp == LocalStamp(after)) << stamp;
    }
}

// A long run (a development-host session of thousands of load cycles) keeps the recent records only.
TEST_F(StandInLogTest, RecordsOfALongRunStayBounded) {
    for (int i = 0; i < 20000; ++i) {
        StandIn::HostLog("line " + std::to_string(i));
    }
    const auto records = StandIn::LogRecords();
    EXPECT_LT(records.size(), 10000u);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().message, "line 19999");
}

TEST_F(StandInLogTest, TheFileSinkGetsTheSameLine) {
    Log::Get().Init(LUMORA_NAME);
    Log::GetLog()->info("{} unloaded", LUMORA_NAME);
    std::ifstream file(StandIn::LogFilePath());
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_THAT(content, ::testing::HasSubstr("[Lumora][info] Lumora unloaded\n"));
}

TEST_F(StandInLogTest, ANewChannelReplacesTheOldOne) {
    Log::Get().Init(LUMORA_NAME);
    std::weak_ptr<spdlog::logger> first = Log::GetLog();
    Log::Get().Init(LUMORA_NAME);
    EXPECT_TRUE(first.expired()) << "the channel is the logger's only owner";
    ASSERT_TRUE(Log::GetLog());
    EXPECT_EQ(Log::GetLog()->name(), "Lumora");
    EXPECT_EQ(Log::GetLog()->flush_level(), spdlog::level::info);
    EXPECT_EQ(Log::GetLog()->level(), spdlog::level::info);
}

}  // namespace
