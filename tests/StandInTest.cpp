// The stand-in host and engine must be faithful where the plugin depends on them.

#include <cstring>

#include <gmock/gmock.h>

#include "support/TestSupport.h"

using ::testing::ElementsAre;
using TestSupport::HostTest;

namespace {

template <typename Fn>
Fn Lookup(const char* key) {
    return reinterpret_cast<Fn>(GetAddress(std::string(key)));
}

void Release(FString& text) { Lookup<EngineFn::FMemoryFree>("FMemory.Free(void*)")(text.Data); }

std::u16string Units(const FString& text) { return std::u16string(reinterpret_cast<const char16_t*>(*text)); }

class StandInTest : public HostTest {};

TEST_F(StandInTest, FStringCopyTakesAnExactBlockAndMoveHandsOver) {
    StandIn::RecordAllocationSizes(true);
    FString original(ASA_TEXT("abc"));
    EXPECT_EQ(original.ArrayNum, 4);
    FString copy(original);
    EXPECT_EQ(copy.ArrayNum, 4);
    EXPECT_EQ(copy.ArrayMax, 4);
    EXPECT_NE(copy.Data, original.Data);
    EXPECT_THAT(StandIn::TakeAllocationSizes(), ElementsAre(8u, 8u));

    FString empty("");
    FString emptyCopy(empty);
    EXPECT_EQ(emptyCopy.Data, nullptr);
    EXPECT_EQ(emptyCopy.ArrayMax, 0);
    EXPECT_TRUE(StandIn::TakeAllocationSizes().empty());
    EXPECT_EQ((*emptyCopy)[0], 0);
    EXPECT_EQ(emptyCopy.Len(), 0);

    TCHAR* data = copy.Data;
    FString moved(std::move(copy));
    EXPECT_EQ(moved.Data, data);
    EXPECT_EQ(copy.Data, nullptr);
    EXPECT_EQ(copy.ArrayNum, 0);
    EXPECT_EQ(copy.ArrayMax, 0);
    Release(original);
    Release(moved);
    StandIn::RecordAllocationSizes(false);
}

TEST_F(StandInTest, HeapCatchesDoubleAndForeignFrees) {
    StandIn::SetHeapMisuseFatal(false);
    auto malloc = Lookup<EngineFn::FMemoryMalloc>("FMemory.Malloc(unsigned__int64,unsignedint)");
    auto free = Lookup<EngineFn::FMemoryFree>("FMemory.Free(void*)");
    void* block = malloc(10, 0);
    EXPECT_EQ(StandIn::Heap().liveBlocks, heapAtStart.liveBlocks + 1);
    EXPECT_EQ(StandIn::Heap().liveBytes, heapAtStart.liveBytes + 10);
    free(block);
    free(block);
    int local = 0;
    free(&local);
    EXPECT_EQ(StandIn::Heap().misuses, heapAtStart.misuses + 2);
    StandIn::SetHeapMisuseFatal(true);
    checkHeap = false;
}

TEST(StandInDeathTest, HeapMisuseIsFatalByDefault) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto free = Lookup<EngineFn::FMemoryFree>("FMemory.Free(void*)");
    int local = 0;
    EXPECT_DEATH(free(&local), "not live");
}

TEST_F(StandInTest, EveryKeyResolvesAndIsCounted) {
    const char* keys[] = {
        "FMemory.Malloc(unsigned__int64,unsignedint)",
        "FMemory.Free(void*)",
        "FName.FName(char*,EFindName)",
        "UClass.FindFunctionByName(FName,EIncludeSuperFlag::Type)",
        "AActor.ProcessEvent(UFunction*,void*)",
        "AShooterPlayerController.GetPlayerCharacterName()",
        "FGenericPlatformStricmp.Stricmp(wchar_t*,wchar_t*)",
    };
    for (const char* key : keys) {
        EXPECT_NE(GetAddress(std::string(key)), nullptr) << key;
        EXPECT_NE(GetAddress(std::string(key)), nullptr) << key;
        EXPECT_EQ(StandIn::LookupCount(key), 2u) << key;
    }
    EXPECT_EQ(GetAddress(std::string("Nothing.Here()")), nullptr);
    auto* player = StandIn::Join("alice");
    EXPECT_NE(GetAddress(player, "UObjectBase.ClassPrivate"), nullptr);
    StandIn::FaultMissingKey("FMemory.Free(void*)");
    EXPECT_EQ(GetAddress(std::string("FMemory.Free(void*)")), nullptr);
}

TEST_F(StandInTest, RemoteCallIsFoundThroughTheBaseClassAndDeliversTheCommand) {
    auto* player = StandIn::Join("alice");
    auto cls = *static_cast<UClass**>(GetAddress(player, "UObjectBase.ClassPrivate"));
    FName name;
    Lookup<EngineFn::FNameCtor>("FName.FName(char*,EFindName)")(&name, "ClientRunLocalConsoleCommand", FNAME_Add);
    auto find = Lookup<EngineFn::FindFunctionByName>("UClass.FindFunctionByName(FName,EIncludeSuperFlag::Type)");
    EXPECT_EQ(find(cls, name, EIncludeSuperFlag::ExcludeSuper), nullptr);
    UFunction* rpc = find(cls, name, EIncludeSuperFlag::IncludeSuper);
    ASSERT_NE(rpc, nullptr);

    alignas(8) unsigned char block[24] = {};
    FString command(ASA_TEXT("r.ShadowQuality 1"));
    std::memcpy(block, &command, sizeof command);
    Lookup<EngineFn::ProcessEvent>("AActor.ProcessEvent(UFunction*,void*)")(reinterpret_cast<AActor*>(player), rpc,
                                                                            block);
    Release(command);
    EXPECT_THAT(StandIn::ClientCommands(player), ElementsAre("r.ShadowQuality 1"));
    EXPECT_EQ(StandIn::ClientCvars(player).at("r.ShadowQuality"), "1");

    StandIn::FaultRpcFailsAfter(player, 1);
    cls = *static_cast<UClass**>(GetAddress(player, "UObjectBase.ClassPrivate"));
    EXPECT_NE(find(cls, name, EIncludeSuperFlag::IncludeSuper), nullptr);
    EXPECT_EQ(find(cls, name, EIncludeSuperFlag::IncludeSuper), nullptr);
    EXPECT_EQ(find(cls, name, EIncludeSuperFlag::IncludeSuper), nullptr);

    auto* other = StandIn::Join("bob");
    StandIn::FaultNoRpc(other);
    cls = *static_cast<UClass**>(GetAddress(other, "UObjectBase.ClassPrivate"));
    EXPECT_EQ(find(cls, name, EIncludeSuperFlag::IncludeSuper), nullptr);
    StandIn::FaultNullClass(other);
    EXPECT_EQ(*static_cast<UClass**>(GetAddress(other, "UObjectBase.ClassPrivate")), nullptr);
}

TEST_F(StandInTest, CharacterNameAndStricmp) {
    auto* player = StandIn::Join("Ünïcode Hero");
    FString name("");
    Lookup<EngineFn::GetPlayerCharacterName>("AShooterPlayerController.GetPlayerCharacterName()")(player, &name);
    EXPECT_EQ(StandIn::ToUtf8(name), "Ünïcode Hero");
    Release(name);
    auto stricmp = Lookup<EngineFn::Stricmp>("FGenericPlatformStricmp.Stricmp(wchar_t*,wchar_t*)");
    EXPECT_EQ(stricmp(ASA_TEXT("LoW"), ASA_TEXT("low")), 0);
    EXPECT_NE(stricmp(ASA_TEXT("lowest"), ASA_TEXT("low")), 0);
    EXPECT_NE(stricmp(ASA_TEXT(""), ASA_TEXT("low")), 0);
}

TEST_F(StandInTest, ParseIntoArrayCullsEmptyPieces) {
    FString line(ASA_TEXT("  /fps   low  "));
    TArray<FString> words;
    EXPECT_EQ(line.ParseIntoArray(words, ASA_TEXT(" "), true), 2);
    ASSERT_EQ(words.Num(), 2);
    EXPECT_EQ(Units(words[0]), u"/fps");
    EXPECT_EQ(Units(words[1]), u"low");
    for (auto& word : words) {
        Release(word);
    }
    Lookup<EngineFn::FMemoryFree>("FMemory.Free(void*)")(words.Data);
    Release(line);
}

// The registry as the host has it: first word, spaces only, whole word, any letter case.
TEST_F(StandInTest, RegistryMatchesTheFirstWordIgnoringCase) {
    std::vector<std::pair<std::u16string, int>> calls;
    auto callback = [&](AShooterPlayerController*, FString* line, EChatSendMode::Type mode, int32) {
        calls.emplace_back(Units(*line), mode);
    };
    FString alias(ASA_TEXT("/fps"));
    AsaApi::GetCommands().RegisterChatCommand(alias, callback);
    Release(alias);
    auto* player = StandIn::Join("alice");
    struct Case {
        const char* line;
        bool matches;
    } cases[] = {{"/fps low", true},   {"  /FPS", true}, {"/fpslow", false},
                 {"/fps\tlow", false}, {"fps", false},   {"", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(StandIn::Chat(player, c.line, EChatSendMode::LocalChat), c.matches) << c.line;
    }
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].first, u"/fps low");
    EXPECT_EQ(calls[0].second, EChatSendMode::LocalChat);
    EXPECT_EQ(calls[1].first, u"  /FPS");
    FString upper(ASA_TEXT("/FPS"));
    EXPECT_TRUE(AsaApi::GetCommands().UnregisterChatCommand(upper));
    EXPECT_FALSE(AsaApi::GetCommands().UnregisterChatCommand(upper));
    Release(upper);
    EXPECT_TRUE(StandIn::RegisteredAliases().empty());
}

void (*Trampoline)(AShooterGameMode*, AController*) = nullptr;
std::vector<std::string> Order;
void Detour(AShooterGameMode* mode, AController* exiting) {
    Order.push_back("detour");
    Trampoline(mode, exiting);
}

TEST_F(StandInTest, HooksChainInFrontOfTheEngineFunction) {
    Order.clear();
    StandIn::SetEngineLogoutObserver([](AShooterGameMode*, AController*) { Order.push_back("engine"); });
    const std::string key = "AShooterGameMode.Logout(AController*)";
    EXPECT_TRUE(
        AsaApi::GetHooks().InstallHook(key, reinterpret_cast<void*>(&Detour), reinterpret_cast<void**>(&Trampoline)));
    auto* player = StandIn::Join("alice");
    StandIn::Leave(player);
    EXPECT_THAT(Order, ElementsAre("detour", "engine"));
    EXPECT_TRUE(AsaApi::GetHooks().RemoveHook(key, reinterpret_cast<void*>(&Detour)));
    StandIn::Rejoin(player);
    StandIn::Leave(player);
    EXPECT_THAT(Order, ElementsAre("detour", "engine", "engine"));
    StandIn::FaultRefuseHook(true);
    EXPECT_FALSE(
        AsaApi::GetHooks().InstallHook(key, reinterpret_cast<void*>(&Detour), reinterpret_cast<void**>(&Trampoline)));
    EXPECT_EQ(StandIn::InstalledHookCount(key), 0u);
}

TEST_F(StandInTest, RejoinKeepsTheAddressAndStartsAFreshClient) {
    auto* player = StandIn::Join("alice");
    StandIn::FaultNullClass(player);
    StandIn::Leave(player);
    EXPECT_FALSE(StandIn::IsConnected(player));
    EXPECT_EQ(StandIn::Rejoin(player), player);
    EXPECT_TRUE(StandIn::IsConnected(player));
    EXPECT_EQ(*static_cast<UClass**>(GetAddress(player, "UObjectBase.ClassPrivate")), nullptr) << "faults stay";
    StandIn::ClearFaults();
    EXPECT_NE(*static_cast<UClass**>(GetAddress(player, "UObjectBase.ClassPrivate")), nullptr);
}

TEST_F(StandInTest, ConverterRejectsInvalidSequences) {
    using namespace UE::Core::Private;
    struct Case {
        std::string utf8;
        int32 units;
    } cases[] = {{"abc", 3},   {"\xC3\xA9", 1},  {"\xF0\x9F\x98\x80", 2},
                 {"\xC3", -1}, {"\xC0\xAF", -1}, {"\xED\xA0\x80", -1},
                 {"\xFF", -1}, {"", 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(
            GetConvertedLength(static_cast<const TCHAR*>(nullptr), c.utf8.data(), static_cast<int32>(c.utf8.size())),
            c.units)
            << c.utf8;
    }
    const TCHAR lone[] = {0xD800, 'a'};
    EXPECT_EQ(GetConvertedLength(static_cast<const char*>(nullptr), lone, 2), -1);
    const TCHAR pair[] = {0xD83D, 0xDE00};
    EXPECT_EQ(GetConvertedLength(static_cast<const char*>(nullptr), pair, 2), 4);
    TCHAR small[1];
    EXPECT_EQ(Convert(small, 1, "ab", 2), nullptr);
}

}  // namespace
