#pragma once
// Control of the stand-in host and engine, for the project's tests and tools only: a plugin never
// includes this header.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "AsaApiStandIn/HostVersion.h"  // generated

#include "API/ARK/Ark.h"
#include "Logger/Logger.h"

namespace StandIn {

// The engine function the host detours itself, and plugins after it.
inline constexpr char LogoutKey[] = "AShooterGameMode.Logout(AController*)";

// ---- the host ------------------------------------------------------------------------------
struct HostOptions {
    std::filesystem::path serverDir;  // the server's working folder; its log files go under it
    bool consoleSink = false;         // the host's console sink on standard output
    bool fileSink = true;             // the host's rotating file sink (1 MiB, 5 files)
};
// Sets the working folder and makes the host's log sinks. Players, registrations, hooks, faults,
// records and counters start empty; the engine heap keeps what it holds.
ARK_API void StartHost(const HostOptions& options);
// Logs every player out and forgets them, drops the sinks, registrations, hooks and records.
ARK_API void StopHost();
ARK_API std::filesystem::path LogFilePath();
// A new, empty folder under the system's temporary folder, named PREFIX-<random>, for a server's
// working folder; the caller removes it.
ARK_API std::filesystem::path NewServerFolder(const std::string& prefix);
// The host's log file in a server folder, ArkApi/Logs/ArkApi.log: spelt here once, for the
// stand-in, the development host and the tests.
inline std::filesystem::path HostLogFile(const std::filesystem::path& serverDir) {
    return serverDir / "ArkApi" / "Logs" / "ArkApi.log";
}
// Where the host looks for a plugin: ArkApi/Plugins/NAME under the server's folder, and in it the
// library NAME.so (NAME.dll on Windows).
ARK_API std::filesystem::path PluginFolder(const std::filesystem::path& serverDir, const std::string& name);
ARK_API std::filesystem::path PluginLibrary(const std::filesystem::path& serverDir, const std::string& name);
// Copies from over to: into a file beside it, renamed over it once complete, so a failed copy
// leaves the file at to as it was; a file copied onto itself (the same path, or the same file
// through links) is left as it is, never removed.
ARK_API void CopyFileOver(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error);
// Puts a plugin's library where the host loads it from (PluginLibrary), making the folder; returns
// that path.
ARK_API std::filesystem::path InstallPlugin(const std::filesystem::path& serverDir, const std::string& name,
                                            const std::filesystem::path& library, std::error_code& error);

// ---- the engine heap -----------------------------------------------------------------------
struct HeapStats {
    std::uint64_t liveBlocks = 0;
    std::uint64_t liveBytes = 0;
    std::uint64_t allocations = 0;
    std::uint64_t frees = 0;
    std::uint64_t misuses = 0;  // frees of blocks it never handed out, or already freed
    friend bool operator==(const HeapStats&, const HeapStats&) = default;
};
ARK_API HeapStats Heap();
// By default a misuse of the heap ends the process with a message; tests of the heap itself count instead.
ARK_API void SetHeapMisuseFatal(bool fatal);
// While recording, the size of every block allocated is kept, in order; taking them empties the record.
ARK_API void RecordAllocationSizes(bool record);
ARK_API std::vector<std::uint64_t> TakeAllocationSizes();

// ---- lookups by key ------------------------------------------------------------------------
ARK_API std::uint64_t LookupCount(const std::string& key);
ARK_API std::uint64_t TotalLookups();
ARK_API void ResetLookupCounts();

// ---- players and their clients -------------------------------------------------------------
// A new controller for a player whose character has this name (UTF-8, or raw 16-bit units).
ARK_API AShooterPlayerController* Join(const std::string& characterName);
ARK_API AShooterPlayerController* JoinWide(const std::u16string& characterName);
// The engine's Logout for that controller, through any installed detour; the controller is gone after it.
ARK_API void Leave(AShooterPlayerController* player);
// The player connects again with a new controller at the address of the old one (logging out first
// if still connected). Its client starts afresh; faults injected for it stay.
ARK_API AShooterPlayerController* Rejoin(AShooterPlayerController* player);
ARK_API bool IsConnected(AShooterPlayerController* player);
// Gives the character a new name (raw 16-bit units).
ARK_API void RenameWide(AShooterPlayerController* player, const std::u16string& characterName);
// Drops the record of a player who has left; its controller's memory is freed.
ARK_API void Forget(AShooterPlayerController* player);
// The console commands that the client received, in order (a long run keeps the recent ones, as
// every record), and its console variables.
ARK_API std::vector<std::string> ClientCommands(AShooterPlayerController* player);
ARK_API std::map<std::string, std::string> ClientCvars(AShooterPlayerController* player);
ARK_API void ClearClientCommands(AShooterPlayerController* player);

// The player types a chat line, as the host takes it: a line that comes less than one second of
// game time after the same player's previous line is dropped (a ChatDropped event); otherwise the
// first chat command whose text equals the first word ignoring case is called, then every
// chat-message callback, and the line is shown to everyone as chat (a ChatShown event) unless a
// command took it or a callback returned true. Returns whether a command or a callback took it.
// Game time first moves on by the chat spacing. An exception out of a callback is not caught.
ARK_API bool Chat(AShooterPlayerController* player, const std::string& utf8Line, int mode = 0);
ARK_API bool ChatWide(AShooterPlayerController* player, const std::u16string& line, int mode = 0);
// The platform the host reports for this player's chat lines (0 unless set).
ARK_API void SetPlatform(AShooterPlayerController* player, int platform);
// How far game time moves on before each chat line; 1 second unless set, so no line is dropped.
// Game time is kept in whole milliseconds: seconds are rounded to the nearest one.
ARK_API void SetChatSpacing(double seconds);
ARK_API void AdvanceGameTime(double seconds);

// Called by the engine's own Logout, after every detour in front of it.
ARK_API void SetEngineLogoutObserver(std::function<void(AShooterGameMode*, AController*)> observer);
ARK_API AShooterGameMode* GameMode();
// Calls the engine's Logout as the engine does, through the detour chain.
ARK_API void CallLogout(AController* exiting);

// ---- what the host recorded ----------------------------------------------------------------
struct ChatLine {
    AShooterPlayerController* player = nullptr;
    std::string sender;
    std::string text;
};
ARK_API std::vector<ChatLine> ChatLines();
ARK_API void ClearChatLines();
// Lines the host showed to everyone as chat, in order (sender is empty).
ARK_API std::vector<ChatLine> ShownChatLines();

ARK_API std::vector<std::string> RegisteredChatCommands();  // chat commands, in registration order
ARK_API std::vector<std::string> ChatMessageCallbackIds();  // in registration order
struct RegistryCall {
    bool registered = false;  // false: an unregistration
    std::string alias;
    bool result = true;
};
ARK_API std::vector<RegistryCall> RegistryCalls();

struct HookCall {
    bool install = false;  // false: a removal
    std::string key;
    void* detour = nullptr;
    bool result = false;
};
ARK_API std::vector<HookCall> HookCalls();
ARK_API std::size_t InstalledHookCount(const std::string& key);
// Every name the engine was asked to make, with the EFindName it was asked with.
struct NameRequest {
    std::string name;
    int findType = 0;
};
ARK_API std::vector<NameRequest> NameRequests();
// Paths that the plugin handed to GetChatMessenger, as UTF-8.
ARK_API std::vector<std::string> MessengerRequests();
// Forgets the chat lines (sent and shown), registry and hook calls, name and messenger requests and log records kept so
// far.
ARK_API void ClearRecords();

struct LogRecord {
    std::string logger;
    std::string level;    // "info", "warning", "error", ...
    std::string message;  // the text after the pattern's prefix
    std::string line;     // the line as the sink formatted it, without the line end
};
ARK_API std::vector<LogRecord> LogRecords();
// The host writes a line of its own through its sinks.
ARK_API void HostLog(const std::string& message);
ARK_API void ClearLog();
ARK_API std::uint64_t LogFlushCount();

// Events as they happen, for tools that show a session.
struct Event {
    enum class Kind {
        Log,
        Chat,
        Console,
        Register,
        Unregister,
        HookInstall,
        HookRemove,
        Join,
        Leave,
        ChatDropped,
        ChatShown
    };
    Kind kind = Kind::Log;
    AShooterPlayerController* player = nullptr;
    std::string text;   // log message, chat text, console command, alias or callback id, hook key
    std::string extra;  // log line, chat sender, "chat-message callback" for a callback's (un)registration
    std::string level;
    bool result = true;
};
ARK_API void SetEventListener(std::function<void(const Event&)> listener);

// ---- faults: they last until cleared, across a player's rejoin --------------------------------
ARK_API void FaultNoRpc(AShooterPlayerController* player);      // class without the console remote call
ARK_API void FaultNullClass(AShooterPlayerController* player);  // no class at all
// After n more successful function lookups on that player's class, every later one fails.
ARK_API void FaultRpcFailsAfter(AShooterPlayerController* player, int n);
ARK_API void FaultRefuseHook(bool refuse);
// The game has not started yet, so the host has no default messaging manager to fall back to.
ARK_API void FaultNoMessenger(bool none);
// The key no longer resolves: as on a real server, the next lookup of it writes a critical line and
// ends the process.
ARK_API void FaultMissingKey(const std::string& key);
// The engine's remote call, character name and chat delivery throw std::runtime_error.
ARK_API void FaultEngineThrows(bool fail);
// The host's registry and hook service throw std::runtime_error.
ARK_API void FaultHostThrows(bool fail);
ARK_API void ClearFaults();

// ---- plugins ----------------------------------------------------------------------------------
// The host's API version, which a plugin's MinApiVersion is held against unless set otherwise.
inline constexpr float HostVersion = StandInHostVersion;  // buildspec.json's hostVersion
ARK_API void SetHostVersion(float version);
// Why the host loads a plugin, which decides its log line: at start-up "Loaded plugin <FullName or
// Name> V<Version> (<Description>)", for plugins.load "Loaded plugin - <Name>", for an automatic
// reload "Reloaded plugin - <Name>".
enum class PluginLoad { StartUp, Command, Reload };
// Loads ArkApi/Plugins/NAME/NAME.so (NAME.dll on Windows) under the server folder as the host
// does: reads its PluginInfo.json, refuses a plugin that needs a newer API, takes a reference on
// the library, calls Plugin_Init and logs the line for HOW. False with the reason, which the host
// also logs as a warning.
ARK_API bool LoadPlugin(const std::string& name, std::string& error, PluginLoad how = PluginLoad::Command);
// Calls the plugin's Plugin_Unload, removes what its module registered, and drops one reference on
// the library. False with a reason when it is not loaded, when its PluginInfo.json has
// PreventUnloading (the host's words: "unloading is disabled (PreventUnloading=true)"), or when
// the library stays in memory though the host held no other reference on it.
ARK_API bool UnloadPlugin(const std::string& name, std::string& error);
// Changes a loaded plugin's PreventUnloading, as a restart with an edited PluginInfo.json would.
ARK_API void SetPreventUnloading(const std::string& name, bool prevent);
// The platform's dynamic loader, as the host uses it: a library opened (a reference taken; null
// with the loader's reason), a symbol of it, a reference dropped, and whether the library at PATH
// is mapped in the process (without loading it).
ARK_API void* OpenLibrary(const std::filesystem::path& path, std::string& error);
ARK_API void* FindSymbol(void* library, const char* name);
ARK_API bool CloseLibrary(void* library);
ARK_API bool LibraryMapped(const std::filesystem::path& path);
ARK_API bool PluginLoaded(const std::string& name);
ARK_API std::vector<std::string> LoadedPlugins();  // in load order
// Registrations of one module: chat commands, chat-message callbacks, other commands and
// callbacks (console, RCON, tick, timer), and hook keys.
struct Registrations {
    std::vector<std::string> commands;
    std::vector<std::string> callbacks;
    std::vector<std::string> others;
    std::vector<std::string> hooks;
    friend bool operator==(const Registrations&, const Registrations&) = default;
};
// What the host removed by module right after the last Plugin_Unload.
ARK_API Registrations RemovedAtUnload();
// Removes what one module registered, as the host does after Plugin_Unload; "" is the program
// itself, for a plugin linked into it.
ARK_API Registrations RemoveRegistrationsOf(const std::string& plugin);

// ---- the process ---------------------------------------------------------------------------
// The server process's resident memory, in KiB.
ARK_API std::uint64_t ResidentKiB();

// ---- conversions, for tests and tools ------------------------------------------------------
ARK_API std::u16string ToUtf16(const std::string& utf8);  // invalid bytes become U+FFFD
ARK_API std::string ToUtf8(const std::u16string& utf16);  // unpaired surrogates become U+FFFD
ARK_API std::string ToUtf8(const FString& text);

}  // namespace StandIn
