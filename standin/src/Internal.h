#pragma once
// Internal state of the stand-in host and engine.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>
#ifdef _MSC_VER
#include <intrin.h>  // _ReturnAddress
#endif

#include <spdlog/logger.h>

#include "API/ARK/Ark.h"
#include "AsaApiStandIn/Control.h"
#include "Logger/Logger.h"

namespace StandIn {

struct Player;
struct ClassObject;

// The engine's own objects. A plugin sees them only as opaque pointers and reaches their fields by
// key; every object begins with the same header.
struct ObjectHeader {
    void* vtable = nullptr;
    std::int32_t objectFlags = 0;
    std::int32_t internalIndex = 0;
    ClassObject* classPrivate = nullptr;
};

struct FunctionObject {
    ObjectHeader header;
    std::string name;
};

struct ClassObject {
    ObjectHeader header;
    std::string name;
    ClassObject* super = nullptr;
    std::map<std::uint32_t, FunctionObject*> functions;  // by FName index
    int failAfter = -1;  // successful lookups left before every lookup fails; -1: never fails
};

struct ControllerObject {
    ObjectHeader header;
    Player* player = nullptr;
};

struct GameModeObject {
    ObjectHeader header;
};

inline AShooterPlayerController* AsController(ControllerObject* object) {
    return reinterpret_cast<AShooterPlayerController*>(object);
}
inline ControllerObject* ObjectOf(AShooterPlayerController* controller) {
    return reinterpret_cast<ControllerObject*>(controller);
}

struct Player {
    std::u16string characterName;
    bool connected = true;
    std::int64_t lastChatMs = 0;  // game time of the previous chat line; 0, as the host reads it, none
    int platform = 0;
    std::vector<std::string> commands;
    std::map<std::string, std::string> cvars;
    std::unique_ptr<ClassObject> ownClass;  // a class of its own, for injected faults
    bool nullClass = false;                 // injected: the controller has no class
    std::unique_ptr<ControllerObject> controller;
};

struct HookChain {
    void* original = nullptr;
    struct Entry {
        void* detour;
        void** slot;
        bool host;          // the host's own detour
        std::string owner;  // the plugin whose module installed it; "" for the program
    };
    std::vector<Entry> entries;
    void* EntryPoint() const { return entries.empty() ? original : entries.back().detour; }
};

using ChatCallback = std::function<void(AShooterPlayerController*, FString*, int, int)>;

using ChatMessageCallback = std::function<bool(AShooterPlayerController*, FString*, int, int, bool, bool)>;

// Every registration is tagged with the plugin whose module made it ("" for the program itself).
// An entry removed while a line is dispatched is cleared in place: the dispatch, which walks a copy
// of the list, skips it.
struct RegisteredCommand {
    std::u16string alias;
    ChatCallback callback;
    std::string owner;
    std::shared_ptr<bool> live = std::make_shared<bool>(true);
};

struct RegisteredChatCallback {
    std::u16string id;
    ChatMessageCallback callback;
    std::string owner;
    std::shared_ptr<bool> live = std::make_shared<bool>(true);
};

// A console or RCON command, or a tick or timer callback: kept and removed, never called.
struct OtherRegistration {
    std::u16string id;
    std::string owner;
};

struct LoadedPlugin {
    std::string name;
    void* handle = nullptr;
    const void* base = nullptr;  // where the module lies in memory, to know its calls by
    std::filesystem::path path;
    bool preventUnloading = false;
    int references = 1;  // the loader's, one for each load of the module, as LoadLibraryExW counts
};

struct HostState {
    std::filesystem::path serverDir;
    std::vector<spdlog::sink_ptr> sinks;
    std::shared_ptr<spdlog::logger> hostLog;
    std::filesystem::path logFile;

    std::vector<std::unique_ptr<Player>> players;
    std::unique_ptr<GameModeObject> gameMode;
    std::vector<RegisteredCommand> commands;
    std::vector<RegisteredChatCallback> chatCallbacks;
    std::map<std::string, std::vector<OtherRegistration>> otherRegistrations;  // by kind
    std::vector<RegistryCall> registryCalls;
    std::map<std::string, HookChain> hooks;
    std::vector<HookCall> hookCalls;
    std::vector<ChatLine> chatLines;
    std::vector<ChatLine> shownChat;
    std::vector<std::string> messengerRequests;
    std::vector<NameRequest> nameRequests;
    std::function<void(AShooterGameMode*, AController*)> logoutObserver;
    std::function<void(const Event&)> listener;
    Registrations removedAtUnload;

    // Game time in whole milliseconds, so that spacings add up exactly.
    std::int64_t gameTimeMs = 0;
    std::int64_t chatSpacingMs = 1000;

    struct KeyEntry {
        void* address = nullptr;
        std::uint64_t count = 0;
    };
    std::unordered_map<std::string, KeyEntry> lookups;  // every key asked for, with its answer
    std::set<std::string> missingKeys;
    bool refuseHook = false;
    bool noMessenger = false;
    bool engineThrows = false;
    bool hostThrows = false;

    std::vector<LoadedPlugin> plugins;  // in load order
    std::vector<LoadedPlugin> strays;   // started, but left unlisted by a fault in their record
    float hostVersion = HostVersion;
};

HostState& State();
void Emit(const Event& event);

// Appends one record of what happened. A long run (thousands of load cycles, a million chat lines)
// keeps the recent ones: past RecordLimit the oldest half goes, so memory stays bounded.
inline constexpr std::size_t RecordLimit = 4096;
template <typename Record>
void Keep(std::vector<Record>& records, Record record) {
    if (records.size() >= RecordLimit) {
        records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(RecordLimit / 2));
    }
    records.push_back(std::move(record));
}
void Emit(Event::Kind kind, AShooterPlayerController* player, const std::string& text, const std::string& extra = {},
          bool result = true);
void HostError(const std::string& message);
// What differs between the systems (SystemPosix.cpp, SystemWindows.cpp): the libraries' ending,
// the module that holds a code address (its base), the program's own folder, and a path as the
// host gives it (on Windows in the ANSI code page, '?' for a character it lacks, at most MAX_PATH,
// as GetModuleFileNameA does).
extern const char* const LibrarySuffix;
const void* ModuleOf(const void* address);
std::filesystem::path ProgramFolder();
std::string AsHostNames(const std::filesystem::path& path);
// The host's rotating log file at path: ArkApi.log, then ArkApi.1.log and so on, keptFiles of them.
std::shared_ptr<spdlog::sinks::sink> LogFileSink(const std::filesystem::path& path, std::size_t maxBytes,
                                                 int keptFiles);

// The services, each in a file of its own, as the host's start and stop and one another need them.
void StartLog(const HostOptions& options);
void StopLog();
void InstallHostDetours();
bool AddDetour(const std::string& key, void* detour, void** original, bool host, std::string owner = {});
bool RemoveDetour(const std::string& key, void* detour);
void TakeCommandsOf(const std::string& plugin, Registrations& removed);
void TakeHooksOf(const std::string& plugin, Registrations& removed);
void CloseStrays();
void ThrowIfHostFault(const char* what);
// The plugin whose module made the call (see Plugins.cpp), "" for the program itself.
std::string OwnerOf(const void* returnAddress);
#ifdef _MSC_VER
#define STANDIN_CALLER ::StandIn::OwnerOf(_ReturnAddress())
#else
#define STANDIN_CALLER ::StandIn::OwnerOf(__builtin_return_address(0))
#endif
Player* PlayerOf(AShooterPlayerController* controller);  // nullptr for an unknown controller
void ThrowIfEngineFault(const char* what);

// The engine heap.
void* EngineMalloc(std::uint64_t bytes, std::uint32_t alignment);
void* EngineRealloc(void* block, std::uint64_t bytes, std::uint32_t alignment);
void EngineFree(void* block);

// Engine strings made by the host itself.
FString MakeFString(const std::u16string& text);
std::u16string ToU16(const FString& text);
int CompareIgnoringCase(const char16_t* a, const char16_t* b);

// The engine's classes and names.
void EnsureEngine();
ClassObject* PlayerControllerClass();
ClassObject* BaseControllerClass();
void __fastcall EngineLogout(AShooterGameMode* gameMode, AController* exiting);
void ClearPlayerFaults();
void* ResolveEngineKey(const std::string& key);

}  // namespace StandIn
