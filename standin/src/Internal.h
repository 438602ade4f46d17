#pragma once
// Internal state of the stand-in host and engine.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <spdlog/logger.h>

#include "AsaApi/AsaApi.h"
#include "AsaApiStandIn/Control.h"

// Engine objects. Every object begins with UObjectBase, so a pointer to any of them is a UObject pointer.
struct UObjectBase {
    void* VTable = nullptr;
    std::int32_t ObjectFlags = 0;
    std::int32_t InternalIndex = 0;
    UClass* ClassPrivate = nullptr;
};

struct UFunction : UObjectBase {
    std::string name;
};

struct UClass : UObjectBase {
    std::string name;
    UClass* super = nullptr;
    std::map<std::int32_t, UFunction*> functions;  // by FName index
    int failAfter = -1;                            // successful lookups left before every lookup fails; -1: never fails
};

struct UObject : UObjectBase {};
struct AActor : UObject {};
struct AController : AActor {};
struct AShooterGameMode : AActor {};

namespace StandIn {
struct Player;
}

struct AShooterPlayerController : AController {
    StandIn::Player* player = nullptr;
};

namespace StandIn {

struct Player {
    std::u16string characterName;
    bool connected = true;
    std::vector<std::string> commands;
    std::map<std::string, std::string> cvars;
    std::unique_ptr<UClass> ownClass;  // a class of its own, for injected faults
    bool nullClass = false;            // injected: the controller has no class
    std::unique_ptr<AShooterPlayerController> controller;
};

struct HookChain {
    void* original = nullptr;
    struct Entry {
        void* detour;
        void** slot;
    };
    std::vector<Entry> entries;
    void* EntryPoint() const { return entries.empty() ? original : entries.back().detour; }
};

struct RegisteredCommand {
    std::u16string alias;
    std::function<void(AShooterPlayerController*, FString*, EChatSendMode::Type, int32)> callback;
};

struct HostState {
    std::filesystem::path serverDir;
    std::vector<spdlog::sink_ptr> sinks;
    std::shared_ptr<spdlog::logger> hostLog;
    std::filesystem::path logFile;

    std::vector<std::unique_ptr<Player>> players;
    std::unique_ptr<AShooterGameMode> gameMode;
    std::vector<RegisteredCommand> commands;
    std::vector<RegistryCall> registryCalls;
    std::map<std::string, HookChain> hooks;
    std::vector<HookCall> hookCalls;
    std::vector<ChatLine> chatLines;
    std::vector<std::string> messengerRequests;
    std::function<void(AShooterGameMode*, AController*)> logoutObserver;
    std::function<void(const Event&)> listener;

    struct KeyEntry {
        void* address = nullptr;
        std::uint64_t count = 0;
    };
    std::unordered_map<std::string, KeyEntry> lookups;  // every key asked for, with its answer
    std::set<std::string> missingKeys;
    bool refuseHook = false;
    bool noMessenger = false;

    void* pluginHandle = nullptr;
    std::filesystem::path pluginPath;
};

HostState& State();
void Emit(const Event& event);
Player* PlayerOf(AShooterPlayerController* controller);  // nullptr for an unknown controller

// The engine heap.
void* EngineMalloc(std::uint64_t bytes, std::uint32_t alignment);
void EngineFree(void* block);

// Engine strings made by the host itself.
FString MakeFString(const std::u16string& text);
void FreeFString(FString& text);
std::u16string ToU16(const FString& text);
int CompareIgnoringCase(const TCHAR* a, const TCHAR* b);

// The engine's classes and names.
void EnsureEngine();
UClass* PlayerControllerClass();
UClass* BaseControllerClass();
void EngineLogout(AShooterGameMode* gameMode, AController* exiting);
void ClearPlayerFaults();
void* ResolveEngineKey(const std::string& key);

}  // namespace StandIn
