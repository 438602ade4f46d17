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
#include <fstream>
#include <mutex>
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

void HostError(const std::string& message) {
    auto& state = State();
    if (state.hostLog) {
        state.hostLog->error(message);
    }
}

// ---- the host's interfaces ---------------------------------------------------------------

class Commands final : public AsaApi::ICommands {
public:
    void RegisterChatCommand(
        const FString& command,
        const std::function<void(AShooterPlayerController*, FString*, EChatSendMode::Type, int32)>& callback) override {
        State().commands.push_back({ToU16(command), callback});
        State().registryCalls.push_back({true, ToUtf8(command), true});
        Event event;
        event.kind = Event::Kind::Register;
        event.text = ToUtf8(command);
        Emit(event);
    }
    bool UnregisterChatCommand(const FString& command) override {
        auto& commands = State().commands;
        std::u16string text = ToU16(command);
        auto it = std::find_if(commands.begin(), commands.end(), [&](const RegisteredCommand& entry) {
            return CompareIgnoringCase(reinterpret_cast<const TCHAR*>(entry.alias.c_str()),
                                       reinterpret_cast<const TCHAR*>(text.c_str())) == 0;
        });
        bool found = it != commands.end();
        if (found) {
            commands.erase(it);
        }
        State().registryCalls.push_back({false, ToUtf8(command), found});
        Event event;
        event.kind = Event::Kind::Unregister;
        event.text = ToUtf8(command);
        event.result = found;
        Emit(event);
        return found;
    }
};

void RelinkChain(HookChain& chain) {
    for (std::size_t i = 0; i < chain.entries.size(); ++i) {
        *chain.entries[i].slot = i == 0 ? chain.original : chain.entries[i - 1].detour;
    }
}

class Hooks final : public AsaApi::IHooks {
public:
    bool RemoveHook(const std::string& key, void* detour) override {
        auto& state = State();
        bool removed = false;
        auto chain = state.hooks.find(key);
        if (chain != state.hooks.end()) {
            auto& entries = chain->second.entries;
            auto it = std::find_if(entries.begin(), entries.end(),
                                   [&](const HookChain::Entry& e) { return e.detour == detour; });
            if (it != entries.end()) {
                entries.erase(it);
                RelinkChain(chain->second);
                removed = true;
            }
        }
        state.hookCalls.push_back({false, key, detour, removed});
        Event event;
        event.kind = Event::Kind::HookRemove;
        event.text = key;
        event.result = removed;
        Emit(event);
        return removed;
    }
    bool InstallHook(const std::string& key, void* detour, void** original) override {
        auto& state = State();
        void* target = ResolveEngineKey(key);
        bool ok = !state.refuseHook && target != nullptr && detour != nullptr && original != nullptr;
        if (ok) {
            HookChain& chain = state.hooks[key];
            chain.original = target;
            chain.entries.push_back({detour, original});
            RelinkChain(chain);
        }
        state.hookCalls.push_back({true, key, detour, ok});
        Event event;
        event.kind = Event::Kind::HookInstall;
        event.text = key;
        event.result = ok;
        Emit(event);
        return ok;
    }
};

class Messenger final : public AsaApi::ChatMessenger {
public:
    void SendChatLine(AShooterPlayerController* player, const FString& sender, const FString& text) override {
        if (PlayerOf(player) == nullptr) {
            HostError("SendChatLine: no such player");
            return;
        }
        ChatLine line{player, ToUtf8(sender), ToUtf8(text)};
        State().chatLines.push_back(line);
        Event event;
        event.kind = Event::Kind::Chat;
        event.player = player;
        event.text = line.text;
        event.extra = line.sender;
        Emit(event);
    }
};

class ApiUtils final : public AsaApi::IApiUtils {
public:
    std::shared_ptr<AsaApi::ChatMessenger> GetChatMessenger(const FString& pluginPath) override {
        State().messengerRequests.push_back(ToUtf8(pluginPath));
        if (State().noMessenger) {
            return nullptr;
        }
        static auto* messenger = new std::shared_ptr<Messenger>(std::make_shared<Messenger>());
        return *messenger;
    }
};

}  // namespace

// ---- control ---------------------------------------------------------------------------------

void StartHost(const HostOptions& options) {
    StopHost();
    EnsureEngine();
    auto& state = State();
    state.serverDir = options.serverDir.empty() ? std::filesystem::current_path() : options.serverDir;
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
    state.gameMode = std::make_unique<AShooterGameMode>();
}

void StopHost() {
    auto& state = State();
    for (auto& player : state.players) {
        if (player->connected && player->controller) {
            Leave(player->controller.get());
        }
    }
    state.players.clear();
    state.commands.clear();
    state.registryCalls.clear();
    state.hooks.clear();
    state.hookCalls.clear();
    state.chatLines.clear();
    state.messengerRequests.clear();
    ResetLookupCounts();
    state.missingKeys.clear();
    state.refuseHook = false;
    state.noMessenger = false;
    state.logoutObserver = nullptr;
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

bool ChatWide(AShooterPlayerController* player, const std::u16string& line, EChatSendMode::Type mode) {
    auto& state = State();
    // The host's registry: the first word, split at spaces only, against each alias ignoring case.
    std::size_t start = line.find_first_not_of(u' ');
    if (start == std::u16string::npos) {
        return false;
    }
    std::size_t end = line.find(u' ', start);
    std::u16string first = line.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    std::function<void(AShooterPlayerController*, FString*, EChatSendMode::Type, int32)> callback;
    for (const auto& command : state.commands) {
        if (CompareIgnoringCase(reinterpret_cast<const TCHAR*>(command.alias.c_str()),
                                reinterpret_cast<const TCHAR*>(first.c_str())) == 0) {
            callback = command.callback;
            break;
        }
    }
    if (!callback) {
        return false;
    }
    FString message = MakeFString(line);
    try {
        callback(player, &message, mode, 0);
    } catch (const std::exception& e) {
        HostError(std::string("chat command callback threw: ") + e.what());
    } catch (...) {
        HostError("chat command callback threw");
    }
    FreeFString(message);
    return true;
}

bool Chat(AShooterPlayerController* player, const std::string& utf8Line, EChatSendMode::Type mode) {
    return ChatWide(player, ToUtf16(utf8Line), mode);
}

void SetEngineLogoutObserver(std::function<void(AShooterGameMode*, AController*)> observer) {
    State().logoutObserver = std::move(observer);
}

AShooterGameMode* GameMode() { return State().gameMode.get(); }

void CallLogout(AController* exiting) {
    auto& state = State();
    void* entry = reinterpret_cast<void*>(&EngineLogout);
    auto chain = state.hooks.find("AShooterGameMode.Logout(AController*)");
    if (chain != state.hooks.end()) {
        entry = chain->second.EntryPoint();
    }
    reinterpret_cast<EngineFn::Logout>(entry)(state.gameMode.get(), exiting);
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
    return it == State().hooks.end() ? 0 : it->second.entries.size();
}

std::vector<std::string> MessengerRequests() { return State().messengerRequests; }

void ClearRecords() {
    auto& state = State();
    state.chatLines.clear();
    state.registryCalls.clear();
    state.hookCalls.clear();
    state.messengerRequests.clear();
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

void ClearFaults() {
    auto& state = State();
    state.refuseHook = false;
    state.noMessenger = false;
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

std::string Tools::GetCurrentDir() {
    auto& dir = StandIn::State().serverDir;
    return dir.empty() ? std::filesystem::current_path().string() : dir.string();
}

}  // namespace AsaApi

std::vector<spdlog::sink_ptr>& GetLogSinks() {
    auto& state = StandIn::State();
    if (state.sinks.empty()) {
        state.sinks.push_back(StandIn::Memory());
    }
    return state.sinks;
}

void* GetAddress(const std::string& key) {
    auto& state = StandIn::State();
    auto [entry, added] = state.lookups.try_emplace(key);
    if (added) {
        StandIn::EnsureEngine();
        entry->second.address = StandIn::ResolveEngineKey(key);
    }
    entry->second.count++;
    if (!state.missingKeys.empty() && state.missingKeys.count(key) != 0) {
        return nullptr;
    }
    return entry->second.address;
}

void* GetAddress(const void* object, const std::string& key) {
    auto& state = StandIn::State();
    state.lookups[key].count++;
    if ((!state.missingKeys.empty() && state.missingKeys.count(key) != 0) || object == nullptr ||
        key != "UObjectBase.ClassPrivate") {
        return nullptr;
    }
    return &static_cast<UObjectBase*>(const_cast<void*>(object))->ClassPrivate;
}
