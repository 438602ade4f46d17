// The host's hook service: detours chained in front of the engine's functions, the host's own
// detour of Logout first.

#include <algorithm>
#include <stdexcept>

#include "Internal.h"

namespace StandIn {
namespace {

void RelinkChain(HookChain& chain) {
    for (std::size_t i = 0; i < chain.entries.size(); ++i) {
        *chain.entries[i].slot = i == 0 ? chain.original : chain.entries[i - 1].detour;
    }
}

class Hooks final : public AsaApi::IHooks {
public:
    bool DisableHook(const std::string& func_name, LPVOID detour) override {
        ThrowIfHostFault("DisableHook");
        bool removed = RemoveDetour(func_name, detour);
        Keep(State().hookCalls, {false, func_name, detour, removed});
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
        Keep(State().hookCalls, {true, func_name, detour, ok});
        Emit(Event::Kind::HookInstall, nullptr, func_name, {}, ok);
        return ok;
    }
};

// The host's own detour of the engine's Logout: the plugin's is one of several.
using LogoutFunc = void(__fastcall*)(AShooterGameMode*, AController*);
LogoutFunc HostLogoutOriginal = nullptr;
void __fastcall HostLogoutDetour(AShooterGameMode* gameMode, AController* exiting) {
    HostLogoutOriginal(gameMode, exiting);
}

}  // namespace

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

bool AddDetour(const std::string& key, void* detour, void** original, bool host, std::string owner) {
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

void InstallHostDetours() {
    AddDetour(LogoutKey, reinterpret_cast<void*>(&HostLogoutDetour), reinterpret_cast<void**>(&HostLogoutOriginal),
              true);
}

void CallLogout(AController* exiting) {
    auto& state = State();
    void* entry = reinterpret_cast<void*>(&EngineLogout);
    auto chain = state.hooks.find(LogoutKey);
    if (chain != state.hooks.end()) {
        entry = chain->second.EntryPoint();
    }
    reinterpret_cast<LogoutFunc>(entry)(GameMode(), exiting);
}

std::size_t InstalledHookCount(const std::string& key) {
    auto it = State().hooks.find(key);
    if (it == State().hooks.end()) {
        return 0;
    }
    return static_cast<std::size_t>(std::count_if(it->second.entries.begin(), it->second.entries.end(),
                                                  [](const HookChain::Entry& e) { return !e.host; }));
}

std::vector<HookCall> HookCalls() { return State().hookCalls; }

void TakeHooksOf(const std::string& plugin, Registrations& removed) {
    for (auto& [key, chain] : State().hooks) {
        for (const auto& entry : std::vector<HookChain::Entry>(chain.entries)) {
            if (!entry.host && entry.owner == plugin) {
                removed.hooks.push_back(key);
                RemoveDetour(key, entry.detour);
                Emit(Event::Kind::HookRemove, nullptr, key);
            }
        }
    }
}

}  // namespace StandIn

AsaApi::IHooks& AsaApi::GetHooks() {
    static auto* hooks = new StandIn::Hooks;
    return *hooks;
}
