// The host: command registry, hooks, utilities and chat messenger, log sinks, lookups by key,
// and the loading of plugins.

#if defined(_WIN32)
#include <windows.h>
// clang-format off
#include <psapi.h>
// clang-format on
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <utility>

#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include "Internal.h"

namespace StandIn {

HostState& State() {
    static HostState* state = new HostState;  // outlives every plugin's static state
    return *state;
}

void Emit(const Event& event) {
    if (State().listener) {
        State().listener(event);
    }
}

void Emit(Event::Kind kind, AShooterPlayerController* player, const std::string& text, const std::string& extra,
          bool result) {
    Event event;
    event.kind = kind;
    event.player = player;
    event.text = text;
    event.extra = extra;
    event.result = result;
    Emit(event);
}

void HostError(const std::string& message) {
    auto& state = State();
    if (state.hostLog) {
        state.hostLog->error(message);
    }
}

namespace {

// The sink that tests and tools read.
class MemorySink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::vector<LogRecord> Records() {
        std::lock_guard lock(mutex_);
        return records;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        records.clear();
    }
    std::uint64_t Flushes() {
        std::lock_guard lock(mutex_);
        return flushes;
    }
    std::vector<Event> TakePending() {
        std::lock_guard lock(mutex_);
        return std::exchange(pending, {});
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        spdlog::memory_buf_t formatted;
        formatter_->format(msg, formatted);
        std::string line(formatted.data(), formatted.size());
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        LogRecord record{std::string(msg.logger_name.data(), msg.logger_name.size()),
                         std::string(spdlog::level::to_string_view(msg.level).data(),
                                     spdlog::level::to_string_view(msg.level).size()),
                         std::string(msg.payload.data(), msg.payload.size()), line};
        records.push_back(record);
        Event event;
        event.kind = Event::Kind::Log;
        event.text = record.message;
        event.extra = record.line;
        event.level = record.level;
        event.result = true;
        pending.push_back(event);
    }
    void flush_() override { flushes++; }

private:
    std::vector<LogRecord> records;
    std::uint64_t flushes = 0;
    std::vector<Event> pending;
};

std::shared_ptr<MemorySink>& Memory() {
    static auto* sink = new std::shared_ptr<MemorySink>(std::make_shared<MemorySink>());
    return *sink;
}

void EmitPendingLogEvents() {
    for (const auto& event : Memory()->TakePending()) {
        Emit(event);
    }
}

// Log events are emitted by a sink that sits after the memory sink, so they come out in order.
class EventSink final : public spdlog::sinks::base_sink<spdlog::details::null_mutex> {
protected:
    void sink_it_(const spdlog::details::log_msg&) override { EmitPendingLogEvents(); }
    void flush_() override {}
};

void ThrowIfHostFault(const char* what) {
    if (State().hostThrows) {
        throw std::runtime_error(std::string("host fault in ") + what);
    }
}

// ---- the host's interfaces ---------------------------------------------------------------

class Commands final : public AsaApi::ICommands {
public:
    void AddChatCommand(const FString& command,
                        const std::function<void(AShooterPlayerController*, FString*, int, int)>& callback) override {
        ThrowIfHostFault("AddChatCommand");
        State().commands.push_back({ToU16(command), callback, State().pluginHandle != nullptr});
        State().registryCalls.push_back({true, ToUtf8(command), true});
        Emit(Event::Kind::Register, nullptr, ToUtf8(command));
    }
    bool RemoveChatCommand(const FString& command) override {
        ThrowIfHostFault("RemoveChatCommand");
        bool found = RemoveFirst(ToU16(command));
        State().registryCalls.push_back({false, ToUtf8(command), found});
        Emit(Event::Kind::Unregister, nullptr, ToUtf8(command), {}, found);
        return found;
    }
    // The first command equal to text ignoring case goes.
    static bool RemoveFirst(const std::u16string& text) {
        auto& commands = State().commands;
        auto it = std::find_if(commands.begin(), commands.end(), [&](const RegisteredCommand& entry) {
            return CompareIgnoringCase(entry.alias.c_str(), text.c_str()) == 0;
        });
        if (it == commands.end()) {
            return false;
        }
        commands.erase(it);
        return true;
    }
};

void RelinkChain(HookChain& chain) {
    for (std::size_t i = 0; i < chain.entries.size(); ++i) {
        *chain.entries[i].slot = i == 0 ? chain.original : chain.entries[i - 1].detour;
    }
}

bool RemoveDetour(const std::string& key, void* detour) {
    auto chain = State().hooks.find(key);
    if (chain == State().hooks.end()) {
        return false;
    }
    auto& entries = chain->second.entries;
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const HookChain::Entry& e) { return e.detour == detour && !e.host; });
    if (it == entries.end()) {
        return false;
    }
    *it->slot = nullptr;
    entries.erase(it);
    RelinkChain(chain->second);
    return true;
}

bool AddDetour(const std::string& key, void* detour, void** original, bool host) {
    void* target = ResolveEngineKey(key);
    if (target == nullptr || detour == nullptr || original == nullptr) {
        return false;
    }
    HookChain& chain = State().hooks[key];
    chain.original = target;
    chain.entries.push_back({detour, original, host});
    RelinkChain(chain);
    return true;
}

class Hooks final : public AsaApi::IHooks {
public:
    bool DisableHook(const std::string& func_name, LPVOID detour) override {
        ThrowIfHostFault("DisableHook");
        bool removed = RemoveDetour(func_name, detour);
        State().hookCalls.push_back({false, func_name, detour, removed});
        Emit(Event::Kind::HookRemove, nullptr, func_name, {}, removed);
        return removed;
    }

private:
    bool SetHookInternal(const std::string& func_name, LPVOID detour, LPVOID* original) override {
        ThrowIfHostFault("SetHook");
        bool ok = !State().refuseHook && AddDetour(func_name, detour, original, false);
        if (!ok && original != nullptr) {
            *original = nullptr;
        }
        State().hookCalls.push_back({true, func_name, detour, ok});
        Emit(Event::Kind::HookInstall, nullptr, func_name, {}, ok);
        return ok;
    }
};

class ApiUtils final : public AsaApi::IApiUtils {
    std::shared_ptr<MessagingManager> GetMessagingManagerInternal(const FString& forPlugin) const override {
        State().messengerRequests.push_back(ToUtf8(forPlugin));
        if (State().noMessenger) {
            return nullptr;
        }
        static auto* manager = new std::shared_ptr<MessagingManager>(std::make_shared<MessagingManager>());
        return *manager;
    }
};

// The host's own detour of the engine's Logout: the plugin's is one of several.
using LogoutFunc = void(__fastcall*)(AShooterGameMode*, AController*);
LogoutFunc HostLogoutOriginal = nullptr;
void __fastcall HostLogoutDetour(AShooterGameMode* gameMode, AController* exiting) {
    HostLogoutOriginal(gameMode, exiting);
}

}  // namespace

// ---- control ---------------------------------------------------------------------------------

void StartHost(const HostOptions& options) {
    StopHost();
    EnsureEngine();
    auto& state = State();
    state.serverDir.clear();
    state.serverDir =
        options.serverDir.empty() ? std::filesystem::path(AsaApi::Tools::GetCurrentDir()) : options.serverDir;
    state.sinks.clear();
    if (options.consoleSink) {
        state.sinks.push_back(std::make_shared<spdlog::sinks::stdout_sink_mt>());
    }
    if (options.fileSink) {
        state.logFile = state.serverDir / "ArkApi" / "Logs" / "ArkApi.log";
        state.sinks.push_back(
            std::make_shared<spdlog::sinks::rotating_file_sink_mt>(state.logFile.string(), 1024 * 1024, 5));
    }
    Memory() = std::make_shared<MemorySink>();
    state.sinks.push_back(Memory());
    state.sinks.push_back(std::make_shared<EventSink>());
    state.hostLog = std::make_shared<spdlog::logger>("AsaApi", state.sinks.begin(), state.sinks.end());
    state.hostLog->flush_on(spdlog::level::info);
    state.gameMode = std::make_unique<GameModeObject>();
    state.gameTime = 0;
    state.chatSpacing = 1;
    AddDetour("AShooterGameMode.Logout(AController*)", reinterpret_cast<void*>(&HostLogoutDetour),
              reinterpret_cast<void**>(&HostLogoutOriginal), true);
}

void StopHost() {
    auto& state = State();
    for (auto& player : state.players) {
        if (player->connected && player->controller) {
            Leave(AsController(player->controller.get()));
        }
    }
    state.players.clear();
    state.commands.clear();
    state.registryCalls.clear();
    state.hooks.clear();
    state.hookCalls.clear();
    state.chatLines.clear();
    state.messengerRequests.clear();
    state.nameRequests.clear();
    ResetLookupCounts();
    state.missingKeys.clear();
    state.refuseHook = false;
    state.noMessenger = false;
    state.engineThrows = false;
    state.hostThrows = false;
    state.logoutObserver = nullptr;
    state.leftBehind = {};
    state.hostLog.reset();
    state.sinks.clear();
    state.logFile.clear();
}

std::filesystem::path LogFilePath() { return State().logFile; }

std::uint64_t LookupCount(const std::string& key) {
    auto it = State().lookups.find(key);
    return it == State().lookups.end() ? 0 : it->second.count;
}

std::uint64_t TotalLookups() {
    std::uint64_t total = 0;
    for (const auto& [key, entry] : State().lookups) {
        total += entry.count;
    }
    return total;
}

void ResetLookupCounts() {
    for (auto& [key, entry] : State().lookups) {
        entry.count = 0;
    }
}

bool ChatWide(AShooterPlayerController* player, const std::u16string& line, int mode) {
    auto& state = State();
    state.gameTime += state.chatSpacing;
    if (Player* sender = PlayerOf(player)) {
        if (state.gameTime - sender->lastChat < 1.0) {
            Emit(Event::Kind::ChatDropped, player, ToUtf8(line));
            return false;
        }
        sender->lastChat = state.gameTime;
    }
    // The first word, split at spaces only, against each command ignoring case; the host calls
    // from a copy of its list.
    std::size_t start = line.find_first_not_of(u' ');
    if (start == std::u16string::npos) {
        return false;
    }
    std::size_t end = line.find(u' ', start);
    std::u16string first = line.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    const std::vector<RegisteredCommand> commands = state.commands;
    for (const auto& command : commands) {
        if (CompareIgnoringCase(command.alias.c_str(), first.c_str()) == 0) {
            FString message = MakeFString(line);
            command.callback(player, &message, mode, 0);
            return true;
        }
    }
    return false;
}

bool Chat(AShooterPlayerController* player, const std::string& utf8Line, int mode) {
    return ChatWide(player, ToUtf16(utf8Line), mode);
}

void SetEngineLogoutObserver(std::function<void(AShooterGameMode*, AController*)> observer) {
    State().logoutObserver = std::move(observer);
}

AShooterGameMode* GameMode() { return reinterpret_cast<AShooterGameMode*>(State().gameMode.get()); }

void SetChatSpacing(double seconds) { State().chatSpacing = seconds; }
void AdvanceGameTime(double seconds) { State().gameTime += seconds; }
double GameTime() { return State().gameTime; }

void CallLogout(AController* exiting) {
    auto& state = State();
    void* entry = reinterpret_cast<void*>(&EngineLogout);
    auto chain = state.hooks.find("AShooterGameMode.Logout(AController*)");
    if (chain != state.hooks.end()) {
        entry = chain->second.EntryPoint();
    }
    reinterpret_cast<LogoutFunc>(entry)(GameMode(), exiting);
}

std::vector<ChatLine> ChatLines() { return State().chatLines; }
void ClearChatLines() { State().chatLines.clear(); }

std::vector<std::string> RegisteredAliases() {
    std::vector<std::string> aliases;
    for (const auto& command : State().commands) {
        aliases.push_back(ToUtf8(command.alias));
    }
    return aliases;
}

std::vector<RegistryCall> RegistryCalls() { return State().registryCalls; }
std::vector<HookCall> HookCalls() { return State().hookCalls; }

std::size_t InstalledHookCount(const std::string& key) {
    auto it = State().hooks.find(key);
    if (it == State().hooks.end()) {
        return 0;
    }
    return static_cast<std::size_t>(std::count_if(it->second.entries.begin(), it->second.entries.end(),
                                                  [](const HookChain::Entry& e) { return !e.host; }));
}

std::vector<std::string> MessengerRequests() { return State().messengerRequests; }
std::vector<NameRequest> NameRequests() { return State().nameRequests; }

void ClearRecords() {
    auto& state = State();
    state.chatLines.clear();
    state.registryCalls.clear();
    state.hookCalls.clear();
    state.messengerRequests.clear();
    state.nameRequests.clear();
    Memory()->Clear();
}

std::vector<LogRecord> LogRecords() { return Memory()->Records(); }

void HostLog(const std::string& message) {
    if (State().hostLog) {
        State().hostLog->info(message);
    }
}
void ClearLog() { Memory()->Clear(); }
std::uint64_t LogFlushCount() { return Memory()->Flushes(); }

void SetEventListener(std::function<void(const Event&)> listener) { State().listener = std::move(listener); }

void FaultRefuseHook(bool refuse) { State().refuseHook = refuse; }
void FaultNoMessenger(bool none) { State().noMessenger = none; }
void FaultMissingKey(const std::string& key) { State().missingKeys.insert(key); }
void FaultEngineThrows(bool fail) { State().engineThrows = fail; }
void FaultHostThrows(bool fail) { State().hostThrows = fail; }

void ClearFaults() {
    auto& state = State();
    state.refuseHook = false;
    state.noMessenger = false;
    state.engineThrows = false;
    state.hostThrows = false;
    state.missingKeys.clear();
    ClearPlayerFaults();
}

namespace {

// The dynamic loader of the platform, as the host uses it.
#if defined(_WIN32)
void* OpenLibrary(const std::filesystem::path& path, std::string& error) {
    HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) {
        error = "could not load " + path.string() + " (error " + std::to_string(GetLastError()) + ")";
    }
    return reinterpret_cast<void*>(module);
}
void* FindSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
bool StillLoaded(const std::filesystem::path& path) { return GetModuleHandleW(path.c_str()) != nullptr; }
#else
void* OpenLibrary(const std::filesystem::path& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "could not load " + path.string();
    }
    return handle;
}
void* FindSymbol(void* library, const char* name) { return dlsym(library, name); }
void CloseLibrary(void* library) { dlclose(library); }
bool StillLoaded(const std::filesystem::path& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}
#endif

}  // namespace

bool LoadPlugin(const std::filesystem::path& library, std::string& error) {
    auto& state = State();
    if (state.pluginHandle != nullptr) {
        error = "a plugin is already loaded from " + state.pluginPath.string();
        return false;
    }
    void* handle = OpenLibrary(library, error);
    if (handle == nullptr) {
        return false;
    }
    auto init = reinterpret_cast<void (*)()>(FindSymbol(handle, "Plugin_Init"));
    auto unload = reinterpret_cast<void (*)()>(FindSymbol(handle, "Plugin_Unload"));
    if (init == nullptr || unload == nullptr) {
        CloseLibrary(handle);
        error = library.string() + " is not a plugin: it does not export Plugin_Init and Plugin_Unload";
        return false;
    }
    state.pluginHandle = handle;
    state.pluginPath = library;
    init();
    return true;
}

bool UnloadPlugin(std::string& error) {
    auto& state = State();
    if (state.pluginHandle == nullptr) {
        error = "no plugin is loaded";
        return false;
    }
    auto unload = reinterpret_cast<void (*)()>(FindSymbol(state.pluginHandle, "Plugin_Unload"));
    unload();
    // The host itself takes back whatever the plugin left registered.
    state.leftBehind = {};
    for (const auto& command : state.commands) {
        if (command.byPlugin) {
            state.leftBehind.commands.push_back(ToUtf8(command.alias));
        }
    }
    std::erase_if(state.commands, [](const RegisteredCommand& command) { return command.byPlugin; });
    for (auto& [key, chain] : state.hooks) {
        for (const auto& entry : std::vector<HookChain::Entry>(chain.entries)) {
            if (!entry.host) {
                state.leftBehind.hooks.push_back(key);
                RemoveDetour(key, entry.detour);
            }
        }
    }
    CloseLibrary(state.pluginHandle);
    state.pluginHandle = nullptr;
    std::filesystem::path path = std::exchange(state.pluginPath, {});
    if (StillLoaded(path)) {
        error = path.string() + " is still in memory after it was unloaded";
        return false;
    }
    return true;
}

std::uint64_t ResidentKiB() {
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize / 1024;
#else
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stoull(line.substr(6));
        }
    }
    return 0;
#endif
}

bool PluginLoaded() { return State().pluginHandle != nullptr; }

LeftBehind LeftBehindAtUnload() { return State().leftBehind; }

}  // namespace StandIn

// ---- the host's exports ------------------------------------------------------------------------

namespace AsaApi {

ICommands& GetCommands() {
    static auto* commands = new StandIn::Commands;
    return *commands;
}

IHooks& GetHooks() {
    static auto* hooks = new StandIn::Hooks;
    return *hooks;
}

IApiUtils& GetApiUtils() {
    static auto* utils = new StandIn::ApiUtils;
    return *utils;
}

// The server's folder: the one the host was started in, else the executable's own.
std::string Tools::GetCurrentDir() {
    auto& dir = StandIn::State().serverDir;
    if (!dir.empty()) {
        return dir.string();
    }
#if defined(_WIN32)
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path().string();
#else
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
#endif
}

}  // namespace AsaApi

std::vector<spdlog::sink_ptr>& GetLogSinks() {
    auto& state = StandIn::State();
    if (state.sinks.empty()) {
        state.sinks.push_back(StandIn::Memory());
    }
    return state.sinks;
}

namespace {

// A key the engine does not have ends the server, as the host ends it.
[[noreturn]] void UnresolvedKey(const std::string& key) {
    const std::string message = "Failed to find the address of " + key + "; the server stops";
    if (auto& log = StandIn::State().hostLog) {
        log->critical(message);
        log->flush();
    }
    std::fprintf(stderr, "%s\n", message.c_str());
    std::abort();
}

bool Missing(const std::string& key) {
    auto& missing = StandIn::State().missingKeys;
    return !missing.empty() && missing.count(key) != 0;
}

}  // namespace

LPVOID GetAddress(const std::string& name) {
    auto& state = StandIn::State();
    auto [entry, added] = state.lookups.try_emplace(name);
    if (added) {
        StandIn::EnsureEngine();
        entry->second.address = StandIn::ResolveEngineKey(name);
    }
    entry->second.count++;
    if (entry->second.address == nullptr || Missing(name)) {
        UnresolvedKey(name);
    }
    return entry->second.address;
}

DWORD64 GetAddress(const void* base, const std::string& name) {
    auto& state = StandIn::State();
    state.lookups[name].count++;
    if (name != "UObjectBase.ClassPrivate" || Missing(name)) {
        UnresolvedKey(name);
    }
    return reinterpret_cast<DWORD64>(base) + offsetof(StandIn::ObjectHeader, classPrivate);
}

// The default messaging manager: a chat line to one player.
void MessagingManager::SendChatMessage_Impl(AShooterPlayerController* player_controller, const FString& sender_name,
                                            const FString& msg) {
    using namespace StandIn;
    if (PlayerOf(player_controller) == nullptr) {
        HostError("SendChatMessage: no such player");
        return;
    }
    ThrowIfEngineFault("ClientChatMessage");
    ChatLine line{player_controller, ToUtf8(sender_name), ToUtf8(msg)};
    State().chatLines.push_back(line);
    Emit(Event::Kind::Chat, player_controller, line.text, line.sender);
}
