#pragma once
// The plugin's shell: process-wide state, the entry points and the Logout detour.

#include <deque>

#include "AsaApi/AsaApi.h"

namespace Lumora {

// The alias strings handed to the host, in registration order. Each owns its engine buffer; a deque
// never relocates its elements, so no buffer is copied and left behind as the list grows.
struct AliasList {
    std::deque<FString> entries;

    AliasList() = default;
    AliasList(const AliasList&) = delete;
    AliasList& operator=(const AliasList&) = delete;
    ~AliasList();
    void Clear() noexcept;  // releases every string and empties the list
};

extern AliasList RegisteredAliases;

inline constexpr char LogoutHookKey[] = "AShooterGameMode.Logout(AController*)";

extern EngineFn::Logout LogoutTrampoline;
extern bool LogoutHookInstalled;

void Hook_AShooterGameMode_Logout(AShooterGameMode* gameMode, AController* exiting);

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
