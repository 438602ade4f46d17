#include "plugin/Plugin.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <utility>

#include <Tools.h>

#include "command/ChatReply.h"
#include "command/FpsCommand.h"
#include "config/ConfigLoader.h"
#include "config/PluginConfig.h"
#include "generated/Version.h"
#include "host/EngineString.h"
#include "host/PluginLog.h"
#include "host/ShownText.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace Lumora {

std::string GetConfigPath() { return ConfigPathIn(AsaApi::Tools::GetCurrentDir()); }

PluginConfig LoadConfig() { return LoadConfigFrom(GetConfigPath()); }

namespace {

void RemoveLogoutHook() {
    if (LogoutHookInstalled) {
        LogoutHookInstalled = false;
        AsaApi::GetHooks().DisableHook(LogoutHookKey, reinterpret_cast<LPVOID>(&Hook_AShooterGameMode_Logout));
    }
}

void LoadCurrentConfig() {
    try {
        CurrentConfig = LoadConfig();
    } catch (const std::exception& error) {
        WriteLog<InvalidConfigurationLine>(ConfigFaultText(error.what()));
        WriteLog<BuiltInDefaultsLine>();
        CurrentConfig = BuiltInConfig();
    }
}

// A second start without an unload (the host starts a plugin again when it could not list it after
// the first) finds its earlier registrations in place: they serve the new configuration, and only
// what is missing is added. Nothing is removed by text, which could take another plugin's entry.
void RegisterAliases(const PluginConfig& config) {
    const std::function<void(AShooterPlayerController*, FString*, int, int)> command = &HandleFpsCommand;
    WordAliases.clear();
    for (const std::string& alias : config.ChatCommands) {
        FString text = Utf8ToFString(alias);
        if (IsWordAlias(alias)) {
            WordAliases.push_back(std::move(text));
            continue;
        }
        const bool registered = std::any_of(RegisteredAliases.begin(), RegisteredAliases.end(),
                                            [&](const FString& earlier) { return FStringToUtf8(earlier) == alias; });
        if (!registered) {
            AsaApi::GetCommands().AddChatCommand(text, command);
            RegisteredAliases.push_back(std::move(text));
        }
    }
    if (!WordAliases.empty() && !ChatCallbackRegistered) {
        const std::function<bool(AShooterPlayerController*, FString*, int, int, bool, bool)> callback =
            &HandleFpsChatMessage;
        AsaApi::GetCommands().AddOnChatMessageCallback(Utf8ToFString(PluginName), callback);
        ChatCallbackRegistered = true;
    }
}

// Every alias that answers: the registered ones, those kept from an earlier start among them, and
// the word aliases the chat callback looks for.
std::size_t AnsweringAliasCount() { return RegisteredAliases.size() + WordAliases.size(); }

void InstallLogoutHook() {
    if (LogoutHookInstalled) {
        return;
    }
    LogoutHookInstalled = AsaApi::GetHooks().SetHook(
        LogoutHookKey, reinterpret_cast<LPVOID>(&Hook_AShooterGameMode_Logout), &AShooterGameMode_Logout_original);
    if (!LogoutHookInstalled) {
        WriteLog<NoLogoutHookLine>();
    }
}

}  // namespace
}  // namespace Lumora

void __fastcall Hook_AShooterGameMode_Logout(AShooterGameMode* gameMode, AController* exiting) {
    using namespace Lumora;
    if (exiting != nullptr) {
        // Only the address is compared: the controller is never looked at.
        ActivePresetTable.erase(reinterpret_cast<const AShooterPlayerController*>(exiting));
    }
    if (AShooterGameMode_Logout_original != nullptr) {
        AShooterGameMode_Logout_original(gameMode, exiting);
    }
}

extern "C" void Plugin_Init() {
    using namespace Lumora;
    RunGuarded("start-up", [] {
        Log::Get().Init(PluginName);
        LoadCurrentConfig();
        RegisterAliases(CurrentConfig);
        InstallLogoutHook();
        WriteLog<LoadedLine>(std::string(LUMORA_VERSION), std::string(LUMORA_HOST_VERSION),
                             static_cast<std::uint64_t>(AnsweringAliasCount()),
                             PresetDisplayName(CurrentConfig.DefaultPreset),
                             static_cast<std::uint64_t>(CurrentConfig.OffCommands.size()));
    });
}

extern "C" void Plugin_Unload() {
    using namespace Lumora;
    RunGuarded("unload", [] {
        // The host takes back this plugin's commands and chat callback right after this returns,
        // by its module, so another plugin's command of the same text stays.
        RegisteredAliases.clear();
        WordAliases.clear();
        ChatCallbackRegistered = false;
        RemoveLogoutHook();
        ActivePresetTable.clear();
        // Without a start there is no channel, and nothing to report.
        WriteLog<UnloadedLine>();
    });
}

#if defined(_WIN32)
extern "C" BOOL APIENTRY DllMain(HMODULE module, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}
#endif
