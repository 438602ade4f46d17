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
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>
#include <stdexcept>
#include <utility>

#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <nlohmann/json.hpp>

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

// The module that holds a code address: its base on Linux, its handle (also its base) on Windows.
const void* ModuleOf(const void* address) {
#if defined(_WIN32)
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address), &module);
    return module;
#else
    Dl_info info{};
    return dladdr(address, &info) != 0 ? info.dli_fbase : nullptr;
#endif
}

// The plugin whose code called into the host, found as the host finds it: by the module that
// holds the return address. "" for the program itself and for anything not loaded as a plugin.
std::string OwnerOf(const void* returnAddress) {
    const void* module = ModuleOf(returnAddress);
    for (const auto* list : {&State().plugins, &State().strays}) {
        for (const auto& plugin : *list) {
            if (module != nullptr && plugin.base == module) {
                return plugin.name;
            }
        }
    }
    return {};
}

#define STANDIN_CALLER OwnerOf(__builtin_return_address(0))

void ThrowIfHostFault(const char* what) {
    if (State().hostThrows) {
        throw std::runtime_error(std::string("host fault in ") + what);
    }
}

// ---- the host's interfaces ---------------------------------------------------------------

constexpr char ChatCallbackKind[] = "chat-message callback";

template <typename Entry>
void Clear(Entry& entry) {
    if constexpr (requires { entry.live; }) {
        *entry.live = false;
    }
}

// The first entry whose text equals text ignoring case goes.
template <typename Entry>
bool RemoveFirst(std::vector<Entry>& entries, std::u16string Entry::*field, const std::u16string& text) {
    auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& entry) {
        return CompareIgnoringCase((entry.*field).c_str(), text.c_str()) == 0;
    });
    if (it == entries.end()) {
        return false;
    }
    Clear(*it);
    entries.erase(it);
    return true;
}

// Takes out every entry that the plugin's module made; their texts, in registration order.
template <typename Entry>
std::vector<std::string> TakeOwned(std::vector<Entry>& entries, std::u16string Entry::*field,
                                   const std::string& plugin) {
    std::vector<std::string> taken;
    for (Entry& entry : entries) {
        if (entry.owner == plugin) {
            taken.push_back(ToUtf8(entry.*field));
            Clear(entry);
        }
    }
    std::erase_if(entries, [&](const Entry& entry) { return entry.owner == plugin; });
    return taken;
}

class Commands final : public AsaApi::ICommands {
public:
    void AddChatCommand(const FString& command,
                        const std::function<void(AShooterPlayerController*, FString*, int, int)>& callback) override {
        ThrowIfHostFault("AddChatCommand");
        State().commands.push_back({ToU16(command), callback, STANDIN_CALLER});
        State().registryCalls.push_back({true, ToUtf8(command), true});
        Emit(Event::Kind::Register, nullptr, ToUtf8(command));
    }
    void AddConsoleCommand(const FString& command,
                           const std::function<void(APlayerController*, FString*, bool)>&) override {
        AddOther("console command", command, STANDIN_CALLER);
    }
    void AddRconCommand(const FString& command,
                        const std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>&) override {
        AddOther("RCON command", command, STANDIN_CALLER);
    }
    void AddOnTickCallback(const FString& id, const std::function<void(float)>&) override {
        AddOther("tick callback", id, STANDIN_CALLER);
    }
    void AddOnTimerCallback(const FString& id, const std::function<void()>&) override {
        AddOther("timer callback", id, STANDIN_CALLER);
    }
    void AddOnChatMessageCallback(
        const FString& id,
        const std::function<bool(AShooterPlayerController*, FString*, int, int, bool, bool)>& callback) override {
        ThrowIfHostFault("AddOnChatMessageCallback");
        State().chatCallbacks.push_back({ToU16(id), callback, STANDIN_CALLER});
        Emit(Event::Kind::Register, nullptr, ToUtf8(id), ChatCallbackKind);
    }
    bool RemoveChatCommand(const FString& command) override {
        ThrowIfHostFault("RemoveChatCommand");
        bool found = RemoveFirst(State().commands, &RegisteredCommand::alias, ToU16(command));
        State().registryCalls.push_back({false, ToUtf8(command), found});
        Emit(Event::Kind::Unregister, nullptr, ToUtf8(command), {}, found);
        return found;
    }
    bool RemoveConsoleCommand(const FString& command) override { return RemoveOther("console command", command); }
    bool RemoveRconCommand(const FString& command) override { return RemoveOther("RCON command", command); }
    bool RemoveOnTickCallback(const FString& id) override { return RemoveOther("tick callback", id); }
    bool RemoveOnTimerCallback(const FString& id) override { return RemoveOther("timer callback", id); }
    bool RemoveOnChatMessageCallback(const FString& id) override {
        ThrowIfHostFault("RemoveOnChatMessageCallback");
        bool found = RemoveFirst(State().chatCallbacks, &RegisteredChatCallback::id, ToU16(id));
        Emit(Event::Kind::Unregister, nullptr, ToUtf8(id), ChatCallbackKind, found);
        return found;
    }

private:
    static void AddOther(const char* kind, const FString& id, std::string owner) {
        ThrowIfHostFault(kind);
        State().otherRegistrations[kind].push_back({ToU16(id), std::move(owner)});
    }
    static bool RemoveOther(const char* kind, const FString& id) {
        ThrowIfHostFault(kind);
        return RemoveFirst(State().otherRegistrations[kind], &OtherRegistration::id, ToU16(id));
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

bool AddDetour(const std::string& key, void* detour, void** original, bool host, std::string owner = {}) {
    void* target = ResolveEngineKey(key);
    if (target == nullptr || detour == nullptr || original == nullptr) {
        return false;
    }
    HookChain& chain = State().hooks[key];
    chain.original = target;
    chain.entries.push_back({detour, original, host, std::move(owner)});
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
        bool ok = !State().refuseHook && AddDetour(func_name, detour, original, false, STANDIN_CALLER);
        if (!ok && original != nullptr) {
            *original = nullptr;
        }
        State().hookCalls.push_back({true, func_name, detour, ok});
        Emit(Event::Kind::HookInstall, nullptr, func_name, {}, ok);
        return ok;
    }
};

// No plugin here has a messaging manager of its own, so every request falls back to the host's
// default one, which exists once the game has started.
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

std::filesystem::path NewServerFolder(const std::string& prefix) {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (;;) {
        auto folder = std::filesystem::temp_directory_path() /
                      (prefix + "-" + std::to_string(random()) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directories(folder)) {
            return folder;
        }
    }
}

std::filesystem::path PluginFolder(const std::filesystem::path& serverDir, const std::string& name) {
    return serverDir / "ArkApi" / "Plugins" / name;
}

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
    state.gameTimeMs = 0;
    state.chatSpacingMs = 1000;
    AddDetour(LogoutKey, reinterpret_cast<void*>(&HostLogoutDetour), reinterpret_cast<void**>(&HostLogoutOriginal),
              true);
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
    state.chatCallbacks.clear();
    state.otherRegistrations.clear();
    state.registryCalls.clear();
    state.hooks.clear();
    state.hookCalls.clear();
    state.chatLines.clear();
    state.shownChat.clear();
    state.messengerRequests.clear();
    state.nameRequests.clear();
    ResetLookupCounts();
    state.missingKeys.clear();
    state.refuseHook = false;
    state.noMessenger = false;
    state.engineThrows = false;
    state.hostThrows = false;
    state.logoutObserver = nullptr;
    state.removedAtUnload = {};
    state.hostVersion = HostVersion;
    state.hostLog.reset();
    state.sinks.clear();
    state.logFile.clear();
    for (const auto& stray : std::exchange(state.strays, {})) {
        CloseLibrary(stray.handle);
    }
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
    state.gameTimeMs += state.chatSpacingMs;
    Player* sender = PlayerOf(player);
    // The host keeps the time of a player's previous line, 0 for none: a line within a second of it
    // is dropped, and spam_check tells the callbacks that it came within a second of that time,
    // which after the drop only a first line in the game's first second does.
    bool spamCheck = false;
    if (sender != nullptr) {
        spamCheck = state.gameTimeMs - sender->lastChatMs < 1000;
        if (sender->lastChatMs > 0 && spamCheck) {
            Emit(Event::Kind::ChatDropped, player, ToUtf8(line));
            return false;
        }
        sender->lastChatMs = state.gameTimeMs;
    }
    const int platform = sender != nullptr ? sender->platform : 0;
    // Every callback is handed the host's one string of the line.
    FString message = MakeFString(line);
    // The first word, split at spaces only, against each command ignoring case; the host calls
    // from a copy of its list.
    bool commandExecuted = false;
    const std::size_t start = line.find_first_not_of(u' ');
    if (start != std::u16string::npos) {
        const std::size_t end = line.find(u' ', start);
        const std::u16string first =
            line.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
        const std::vector<RegisteredCommand> commands = state.commands;
        for (const auto& command : commands) {
            if (*command.live && CompareIgnoringCase(command.alias.c_str(), first.c_str()) == 0) {
                command.callback(player, &message, mode, platform);
                commandExecuted = true;
                break;
            }
        }
    }
    bool taken = false;
    const std::vector<RegisteredChatCallback> callbacks = state.chatCallbacks;
    for (const auto& callback : callbacks) {
        if (*callback.live) {
            taken = callback.callback(player, &message, mode, platform, spamCheck, commandExecuted) || taken;
        }
    }
    if (commandExecuted || taken) {
        return true;
    }
    // What is shown is the host's string as the callbacks left it.
    const std::string shown = ToUtf8(ToU16(message));
    state.shownChat.push_back({player, {}, shown});
    Emit(Event::Kind::ChatShown, player, shown);
    return false;
}

void SetPlatform(AShooterPlayerController* player, int platform) {
    if (Player* target = PlayerOf(player)) {
        target->platform = platform;
    }
}

bool Chat(AShooterPlayerController* player, const std::string& utf8Line, int mode) {
    return ChatWide(player, ToUtf16(utf8Line), mode);
}

void SetEngineLogoutObserver(std::function<void(AShooterGameMode*, AController*)> observer) {
    State().logoutObserver = std::move(observer);
}

AShooterGameMode* GameMode() { return reinterpret_cast<AShooterGameMode*>(State().gameMode.get()); }

void SetChatSpacing(double seconds) { State().chatSpacingMs = std::llround(seconds * 1000); }
void AdvanceGameTime(double seconds) { State().gameTimeMs += std::llround(seconds * 1000); }
double GameTime() { return static_cast<double>(State().gameTimeMs) / 1000; }

void CallLogout(AController* exiting) {
    auto& state = State();
    void* entry = reinterpret_cast<void*>(&EngineLogout);
    auto chain = state.hooks.find(LogoutKey);
    if (chain != state.hooks.end()) {
        entry = chain->second.EntryPoint();
    }
    reinterpret_cast<LogoutFunc>(entry)(GameMode(), exiting);
}

std::vector<ChatLine> ChatLines() { return State().chatLines; }
void ClearChatLines() { State().chatLines.clear(); }
std::vector<ChatLine> ShownChatLines() { return State().shownChat; }

std::vector<std::string> RegisteredAliases() {
    std::vector<std::string> aliases;
    for (const auto& command : State().commands) {
        aliases.push_back(ToUtf8(command.alias));
    }
    return aliases;
}

std::vector<std::string> ChatMessageCallbackIds() {
    std::vector<std::string> ids;
    for (const auto& callback : State().chatCallbacks) {
        ids.push_back(ToUtf8(callback.id));
    }
    return ids;
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
    state.shownChat.clear();
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

#if defined(_WIN32)
constexpr char LibraryExtension[] = ".dll";
#else
constexpr char LibraryExtension[] = ".so";
#endif

// PluginInfo.json as the host reads it: the keys one by one into a record of its own, until the
// first of the wrong type (a warning; that key and those after it stay out of the record). A file
// that is not JSON fails the load; an absent file is read as an empty object.
nlohmann::json ReadPluginInfo(const std::filesystem::path& folder) {
    nlohmann::json file = nlohmann::json::object();
    if (std::ifstream stream(folder / "PluginInfo.json"); stream.is_open()) {
        stream >> file;
    }
    nlohmann::json info = nlohmann::json::object();
    try {
        info["FullName"] = file.value("FullName", "");
        info["Description"] = file.value("Description", "No description");
        info["Version"] = file.value("Version", 1.0F);
        info["MinApiVersion"] = file.value("MinApiVersion", 0.0F);
        info["Dependencies"] = file.value("Dependencies", std::vector<std::string>{});
    } catch (const std::exception& fault) {
        if (State().hostLog) {
            State().hostLog->warn("(API::PluginManager::ReadPluginInfo) {}", fault.what());
        }
    }
    // Not read by the host at this version; the stand-in honours it for the tests of unloading.
    info["PreventUnloading"] = file.value("PreventUnloading", false);
    return info;
}

bool LoadFailed(std::string& error, std::string reason) {
    error = std::move(reason);
    if (State().hostLog) {
        State().hostLog->warn(error);
    }
    return false;
}

std::vector<LoadedPlugin>::iterator FindPlugin(const std::string& name) {
    auto& plugins = State().plugins;
    return std::find_if(plugins.begin(), plugins.end(), [&](const LoadedPlugin& p) { return p.name == name; });
}

}  // namespace

void SetHostVersion(float version) { State().hostVersion = version; }

bool LoadPlugin(const std::string& name, std::string& error) {
    auto& state = State();
    const std::filesystem::path folder = PluginFolder(state.serverDir, name);
    const std::filesystem::path library = folder / (name + LibraryExtension);
    if (!std::filesystem::exists(library)) {
        return LoadFailed(error, "Plugin " + name + " does not exist");
    }
    if (FindPlugin(name) != state.plugins.end()) {
        return LoadFailed(error, "Plugin " + name + " was already loaded");
    }
    // The host's order: the plugin's information, the version, the library and Plugin_Init, and
    // only then the plugin's record. A fault there leaves the library loaded but unlisted, and a
    // later load starts it again in the same module.
    try {
        nlohmann::json info = ReadPluginInfo(folder);
        const auto required = static_cast<float>(info["MinApiVersion"]);
        if (required != 0.0F && state.hostVersion < required) {
            return LoadFailed(error, "Plugin " + name + " requires newer API version!");
        }
        std::string reason;
        void* handle = OpenLibrary(library, reason);
        if (handle == nullptr) {
            return LoadFailed(error, "Failed to load plugin - " + name + "\n" + reason);
        }
        auto stray = std::find_if(state.strays.begin(), state.strays.end(),
                                  [&](const LoadedPlugin& p) { return p.handle == handle; });
        if (stray == state.strays.end()) {
            stray = state.strays.insert(state.strays.end(), {name, handle, nullptr, library, false});
        } else {
            CloseLibrary(handle);  // the module is already loaded once
        }
        if (auto init = reinterpret_cast<void (*)()>(FindSymbol(handle, "Plugin_Init")); init != nullptr) {
            stray->base = ModuleOf(reinterpret_cast<const void*>(init));
            init();
        }
        LoadedPlugin plugin = *stray;
        const std::string fullName = info["FullName"];
        const std::string description = info["Description"];
        const auto version = static_cast<float>(info["Version"]);
        (void)static_cast<std::vector<std::string>>(info["Dependencies"]);
        plugin.preventUnloading = info["PreventUnloading"];
        state.strays.erase(std::find_if(state.strays.begin(), state.strays.end(),
                                        [&](const LoadedPlugin& p) { return p.handle == handle; }));
        state.plugins.push_back(plugin);
        HostLog(fmt::format("Loaded plugin {} V{} ({})", fullName.empty() ? name : fullName, version, description));
        return true;
    } catch (const std::exception& fault) {
        return LoadFailed(error, fault.what());
    }
}

Registrations RemoveRegistrationsOf(const std::string& plugin) {
    auto& state = State();
    Registrations removed;
    removed.commands = TakeOwned(state.commands, &RegisteredCommand::alias, plugin);
    for (const auto& command : removed.commands) {
        Emit(Event::Kind::Unregister, nullptr, command);
    }
    removed.callbacks = TakeOwned(state.chatCallbacks, &RegisteredChatCallback::id, plugin);
    for (const auto& callback : removed.callbacks) {
        Emit(Event::Kind::Unregister, nullptr, callback, ChatCallbackKind);
    }
    for (auto& [kind, entries] : state.otherRegistrations) {
        for (const auto& id : TakeOwned(entries, &OtherRegistration::id, plugin)) {
            removed.others.push_back(kind + " " + id);
        }
    }
    for (auto& [key, chain] : state.hooks) {
        for (const auto& entry : std::vector<HookChain::Entry>(chain.entries)) {
            if (!entry.host && entry.owner == plugin) {
                removed.hooks.push_back(key);
                RemoveDetour(key, entry.detour);
                Emit(Event::Kind::HookRemove, nullptr, key);
            }
        }
    }
    return removed;
}

bool UnloadPlugin(const std::string& name, std::string& error) {
    auto& state = State();
    auto plugin = FindPlugin(name);
    if (plugin == state.plugins.end()) {
        error = "Plugin " + name + " is not loaded";
        return false;
    }
    if (plugin->preventUnloading) {
        error = "Plugin " + name + " prevents unloading";
        return false;
    }
    const LoadedPlugin unloading = *plugin;
    if (auto unload = reinterpret_cast<void (*)()>(FindSymbol(unloading.handle, "Plugin_Unload")); unload != nullptr) {
        unload();
    }
    // Right after Plugin_Unload the host takes back everything the plugin's module registered.
    state.removedAtUnload = RemoveRegistrationsOf(name);
    state.plugins.erase(FindPlugin(name));
    CloseLibrary(unloading.handle);
    if (StillLoaded(unloading.path)) {
        error = unloading.path.string() + " is still in memory after it was unloaded";
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

bool PluginLoaded(const std::string& name) { return FindPlugin(name) != State().plugins.end(); }

std::vector<std::string> LoadedPlugins() {
    std::vector<std::string> names;
    for (const auto& plugin : State().plugins) {
        names.push_back(plugin.name);
    }
    return names;
}

Registrations RemovedAtUnload() { return State().removedAtUnload; }

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
