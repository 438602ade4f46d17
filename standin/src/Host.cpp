// The host: its state, start and stop, the plugin folders, the utilities with the chat messenger,
// the faults a test can inject, and lookups by key. The command registry, hooks, log and plugin
// manager (with the dynamic loader) have files of their own.

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <utility>

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

void ThrowIfHostFault(const char* what) {
    if (State().hostThrows) {
        throw std::runtime_error(std::string("host fault in ") + what);
    }
}

namespace {

// No plugin here has a messaging manager of its own, so every request falls back to the host's
// default one, which exists once the game has started.
class ApiUtils final : public AsaApi::IApiUtils {
    std::shared_ptr<MessagingManager> GetMessagingManagerInternal(const FString& forPlugin) const override {
        Keep(State().messengerRequests, ToUtf8(forPlugin));
        if (State().noMessenger) {
            return nullptr;
        }
        static auto* manager = new std::shared_ptr<MessagingManager>(std::make_shared<MessagingManager>());
        return *manager;
    }
};

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

std::filesystem::path PluginLibrary(const std::filesystem::path& serverDir, const std::string& name) {
    return PluginFolder(serverDir, name) / (name + LibrarySuffix);
}

void CopyFileOver(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error) {
    error.clear();
    if (std::error_code unknown; std::filesystem::equivalent(from, to, unknown)) {
        return;
    }
    // Copied beside it first and renamed over it only when whole: a source that cannot be read
    // leaves the old file in place. Renaming over a loaded library fails on Windows, as it should.
    static std::atomic<unsigned> counter{0};
    std::filesystem::path part = to;
    part += ".part-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++);
    std::filesystem::copy_file(from, part, error);
    if (!error) {
        std::filesystem::rename(part, to, error);
    }
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(part, ignored);
    }
}

std::filesystem::path InstallPlugin(const std::filesystem::path& serverDir, const std::string& name,
                                    const std::filesystem::path& library, std::error_code& error) {
    std::filesystem::create_directories(PluginFolder(serverDir, name), error);
    const std::filesystem::path installed = PluginLibrary(serverDir, name);
    if (!error) {
        CopyFileOver(library, installed, error);
    }
    return installed;
}

void StartHost(const HostOptions& options) {
    StopHost();
    EnsureEngine();
    auto& state = State();
    state.serverDir.clear();
    state.serverDir =
        options.serverDir.empty() ? std::filesystem::path(AsaApi::Tools::GetCurrentDir()) : options.serverDir;
    StartLog(options);
    state.gameMode = std::make_unique<GameModeObject>();
    state.gameTimeMs = 0;
    state.chatSpacingMs = 1000;
    InstallHostDetours();
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
    state.hooks.clear();
    ClearRecords();
    ClearFaults();
    ResetLookupCounts();
    state.logoutObserver = nullptr;
    state.removedAtUnload = {};
    state.hostVersion = HostVersion;
    CloseStrays();
    StopLog();
}

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

void SetEngineLogoutObserver(std::function<void(AShooterGameMode*, AController*)> observer) {
    State().logoutObserver = std::move(observer);
}

AShooterGameMode* GameMode() { return reinterpret_cast<AShooterGameMode*>(State().gameMode.get()); }

void SetChatSpacing(double seconds) { State().chatSpacingMs = std::llround(seconds * 1000); }
void AdvanceGameTime(double seconds) { State().gameTimeMs += std::llround(seconds * 1000); }

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
    ClearLog();
}

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

}  // namespace StandIn

// ---- the host's exports ------------------------------------------------------------------------

namespace AsaApi {

IApiUtils& GetApiUtils() {
    static auto* utils = new StandIn::ApiUtils;
    return *utils;
}

// The server's folder: the one the host was started in, else the executable's own.
std::string Tools::GetCurrentDir() {
    const auto& dir = StandIn::State().serverDir;
    return dir.empty() ? StandIn::AsHostNames(StandIn::ProgramFolder()) : StandIn::AsHostNames(dir);
}

}  // namespace AsaApi

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
    Keep(State().chatLines, line);
    Emit(Event::Kind::Chat, player_controller, line.text, line.sender);
}
