#include "plugin/Plugin.h"

#include <cstdint>
#include <exception>
#include <functional>

#include "command/ChatReply.h"
#include "command/FpsCommand.h"
#include "config/ConfigLoader.h"
#include "config/PluginConfig.h"
#include "host/EngineString.h"
#include "plugin/PluginLog.h"
#include "plugin/Version.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace Lumora {
namespace {

// Gives the host back every alias and the detour. Safe to call when nothing is registered.
void ReleaseRegistrations() {
    for (const FString& alias : RegisteredAliases.entries) {
        AsaApi::GetCommands().UnregisterChatCommand(alias);
    }
    RegisteredAliases.Clear();
    if (LogoutHookInstalled) {
        AsaApi::GetHooks().RemoveHook(LogoutHookKey, reinterpret_cast<void*>(&Hook_AShooterGameMode_Logout));
        LogoutHookInstalled = false;
    }
}

void LoadCurrentConfig() {
    try {
        CurrentConfig = LoadConfig();
    } catch (const std::exception& error) {
        WriteLog(spdlog::level::err, "{}: invalid configuration: {}", PluginName, std::string(error.what()));
        WriteLog(spdlog::level::warn, "{}: using built-in defaults", PluginName);
        CurrentConfig = BuiltInConfig();
    }
}

void RegisterAliases() {
    const std::function<void(AShooterPlayerController*, FString*, EChatSendMode::Type, int32)> callback =
        &HandleFpsCommand;
    for (const std::string& alias : CurrentConfig.ChatCommands) {
        ScopedFString text(Utf8ToFString(alias));
        AsaApi::GetCommands().RegisterChatCommand(text.value, callback);
        RegisteredAliases.entries.push_back(std::move(text.value));
    }
}

}  // namespace

void Hook_AShooterGameMode_Logout(AShooterGameMode* gameMode, AController* exiting) {
    if (exiting != nullptr) {
        // Only the address is compared: the controller is never looked at.
        ActivePresetTable.erase(reinterpret_cast<const AShooterPlayerController*>(exiting));
    }
    if (LogoutTrampoline != nullptr) {
        LogoutTrampoline(gameMode, exiting);
    }
}

}  // namespace Lumora

extern "C" void Plugin_Init() {
    using namespace Lumora;
    CreatePluginLog();
    // A second start without an unload in between must not leave the host holding two of anything.
    ReleaseRegistrations();
    LoadCurrentConfig();
    RegisterAliases();
    LogoutHookInstalled =
        AsaApi::GetHooks().InstallHook(LogoutHookKey, reinterpret_cast<void*>(&Hook_AShooterGameMode_Logout),
                                       reinterpret_cast<void**>(&LogoutTrampoline));
    if (!LogoutHookInstalled) {
        WriteLog(spdlog::level::warn, "{}: logout cleanup hook was not installed", PluginName);
    }
    WriteLog(spdlog::level::info,
             "{} " LUMORA_VERSION " loaded for ASAAPI " LUMORA_HOST_VERSION
             " ({} chat aliases, default {}, baseline {} commands)",
             PluginName, static_cast<std::uint64_t>(RegisteredAliases.entries.size()),
             PresetDisplayName(CurrentConfig.DefaultPreset),
             static_cast<std::uint64_t>(CurrentConfig.OffCommands.size()));
}

extern "C" void Plugin_Unload() {
    using namespace Lumora;
    ReleaseRegistrations();
    ActivePresetTable.clear();
    WriteLog(spdlog::level::info, "{} unloaded", PluginName);
}

#if defined(_WIN32)
extern "C" BOOL APIENTRY DllMain(HMODULE module, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}
#endif
