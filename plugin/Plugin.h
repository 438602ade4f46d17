#pragma once
// The plugin's shell: process-wide state, the entry points and the Logout detour.

#include <string>
#include <vector>

#include <API/ARK/Ark.h>

#include "config/PluginConfig.h"

// The detour of the engine's AShooterGameMode::Logout; AShooterGameMode_Logout_original is the
// trampoline through which it calls on.
DECLARE_HOOK(AShooterGameMode_Logout, void, AShooterGameMode* gameMode, AController* exiting);

namespace Lumora {

// The command aliases handed to the host as chat commands, in registration order; each owns its
// engine buffer.
extern std::vector<FString> RegisteredAliases;

inline constexpr char LogoutHookKey[] = "AShooterGameMode.Logout(AController*)";

extern bool LogoutHookInstalled;
// Whether the host holds the chat-message callback through which word aliases are heard.
extern bool ChatCallbackRegistered;

// The server's config.json: in the plugin folder under the server's working directory, which the
// host gives.
std::string GetConfigPath();
// Loads the file at GetConfigPath(). Throws a standard exception whose text is the whole report.
PluginConfig LoadConfig();

}  // namespace Lumora

#if defined(_WIN32)
#define LUMORA_EXPORT __declspec(dllexport)
#else
#define LUMORA_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
LUMORA_EXPORT void Plugin_Init();
LUMORA_EXPORT void Plugin_Unload();
}
