#pragma once
// Control of the stand-in host and engine, for the project's tests and tools only: a plugin never
// includes this header.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "AsaApi/AsaApi.h"

namespace StandIn {

// ---- the host ------------------------------------------------------------------------------
struct HostOptions {
    std::filesystem::path serverDir;  // the server's working folder; its log files go under it
    bool consoleSink = false;         // the host's console sink on standard output
    bool fileSink = true;             // the host's rotating file sink (1 MiB, 5 files)
};
// Sets the working folder and makes the host's log sinks. Players, registrations, hooks, faults,
// records and counters start empty; the engine heap keeps what it holds.
ASAAPI_API void StartHost(const HostOptions& options);
// Logs every player out and forgets them, drops the sinks, registrations, hooks and records.
ASAAPI_API void StopHost();
ASAAPI_API std::filesystem::path LogFilePath();

// ---- the engine heap -----------------------------------------------------------------------
struct HeapStats {
    std::uint64_t liveBlocks = 0;
    std::uint64_t liveBytes = 0;
    std::uint64_t allocations = 0;
    std::uint64_t frees = 0;
    std::uint64_t misuses = 0;  // frees of blocks it never handed out, or already freed
    friend bool operator==(const HeapStats&, const HeapStats&) = default;
};
ASAAPI_API HeapStats Heap();
// By default a misuse of the heap ends the process with a message; tests of the heap itself count instead.
ASAAPI_API void SetHeapMisuseFatal(bool fatal);
// While recording, the size of every block allocated is kept, in order; taking them empties the record.
ASAAPI_API void RecordAllocationSizes(bool record);
ASAAPI_API std::vector<std::uint64_t> TakeAllocationSizes();

// ---- lookups by key ------------------------------------------------------------------------
ASAAPI_API std::uint64_t LookupCount(const std::string& key);
ASAAPI_API std::uint64_t TotalLookups();
ASAAPI_API void ResetLookupCounts();

// ---- players and their clients -------------------------------------------------------------
// A new controller for a player whose character has this name (UTF-8, or raw 16-bit units).
ASAAPI_API AShooterPlayerController* Join(const std::string& characterName);
ASAAPI_API AShooterPlayerController* JoinWide(const std::u16string& characterName);
// The engine's Logout for that controller, through any installed detour; the controller is gone after it.
ASAAPI_API void Leave(AShooterPlayerController* player);
// The player connects again with a new controller at the address of the old one (logging out first
// if still connected). Its client starts afresh; faults injected for it stay.
ASAAPI_API AShooterPlayerController* Rejoin(AShooterPlayerController* player);
ASAAPI_API bool IsConnected(AShooterPlayerController* player);
// Gives the character a new name (raw 16-bit units).
ASAAPI_API void RenameWide(AShooterPlayerController* player, const std::u16string& characterName);
// Drops the record of a player who has left; its controller's memory is freed.
ASAAPI_API void Forget(AShooterPlayerController* player);
// Every console command that the client received, in order, and its console variables.
ASAAPI_API std::vector<std::string> ClientCommands(AShooterPlayerController* player);
ASAAPI_API std::map<std::string, std::string> ClientCvars(AShooterPlayerController* player);
ASAAPI_API void ClearClientCommands(AShooterPlayerController* player);

// The player types a chat line; the host's registry calls the first matching alias's callback.
// Returns whether an alias matched.
ASAAPI_API bool Chat(AShooterPlayerController* player, const std::string& utf8Line,
                     EChatSendMode::Type mode = EChatSendMode::GlobalChat);
ASAAPI_API bool ChatWide(AShooterPlayerController* player, const std::u16string& line,
                         EChatSendMode::Type mode = EChatSendMode::GlobalChat);

// Called by the engine's own Logout, after every detour in front of it.
ASAAPI_API void SetEngineLogoutObserver(std::function<void(AShooterGameMode*, AController*)> observer);
ASAAPI_API AShooterGameMode* GameMode();
// Calls the engine's Logout as the engine does, through the detour chain.
ASAAPI_API void CallLogout(AController* exiting);

// ---- what the host recorded ----------------------------------------------------------------
struct ChatLine {
    AShooterPlayerController* player = nullptr;
    std::string sender;
    std::string text;
};
ASAAPI_API std::vector<ChatLine> ChatLines();
ASAAPI_API void ClearChatLines();

ASAAPI_API std::vector<std::string> RegisteredAliases();  // in registration order
struct RegistryCall {
    bool registered = false;  // false: an unregistration
    std::string alias;
    bool result = true;
};
ASAAPI_API std::vector<RegistryCall> RegistryCalls();

struct HookCall {
    bool install = false;  // false: a removal
    std::string key;
    void* detour = nullptr;
    bool result = false;
};
ASAAPI_API std::vector<HookCall> HookCalls();
ASAAPI_API std::size_t InstalledHookCount(const std::string& key);
// Paths that the plugin handed to GetChatMessenger, as UTF-8.
ASAAPI_API std::vector<std::string> MessengerRequests();
// Forgets the chat lines, registry and hook calls, messenger requests and log records kept so far.
ASAAPI_API void ClearRecords();

struct LogRecord {
    std::string logger;
    std::string level;    // "info", "warning", "error", ...
    std::string message;  // the text after the pattern's prefix
    std::string line;     // the line as the sink formatted it, without the line end
};
ASAAPI_API std::vector<LogRecord> LogRecords();
// The host writes a line of its own through its sinks.
ASAAPI_API void HostLog(const std::string& message);
ASAAPI_API void ClearLog();
ASAAPI_API std::uint64_t LogFlushCount();

// Events as they happen, for tools that show a session.
struct Event {
    enum class Kind { Log, Chat, Console, Register, Unregister, HookInstall, HookRemove, Join, Leave };
    Kind kind = Kind::Log;
    AShooterPlayerController* player = nullptr;
    std::string text;   // log message, chat text, console command, alias, hook key
    std::string extra;  // log line, chat sender, log level
    std::string level;
    bool result = true;
};
ASAAPI_API void SetEventListener(std::function<void(const Event&)> listener);

// ---- faults: they last until cleared, across a player's rejoin --------------------------------
ASAAPI_API void FaultNoRpc(AShooterPlayerController* player);      // class without the console remote call
ASAAPI_API void FaultNullClass(AShooterPlayerController* player);  // no class at all
// After n more successful function lookups on that player's class, every later one fails.
ASAAPI_API void FaultRpcFailsAfter(AShooterPlayerController* player, int n);
ASAAPI_API void FaultRefuseHook(bool refuse);
ASAAPI_API void FaultNoMessenger(bool none);
ASAAPI_API void FaultMissingKey(const std::string& key);
ASAAPI_API void ClearFaults();

// ---- plugins -------------------------------------------------------------------------------
// Loads the library as the host does and calls its Plugin_Init. False with a reason when it fails.
ASAAPI_API bool LoadPlugin(const std::filesystem::path& library, std::string& error);
// Calls Plugin_Unload and unloads the library. False with a reason when none is loaded or the
// library stays in memory after it.
ASAAPI_API bool UnloadPlugin(std::string& error);
ASAAPI_API bool PluginLoaded();

// ---- the process ---------------------------------------------------------------------------
// The server process's resident memory, in KiB.
ASAAPI_API std::uint64_t ResidentKiB();

// ---- conversions, for tests and tools ------------------------------------------------------
ASAAPI_API std::u16string ToUtf16(const std::string& utf8);  // invalid bytes become U+FFFD
ASAAPI_API std::string ToUtf8(const std::u16string& utf16);  // unpaired surrogates become U+FFFD
ASAAPI_API std::string ToUtf8(const FString& text);

}  // namespace StandIn
