#include "client/ClientConsole.h"

#include <cstddef>

#include "host/EngineString.h"
#include "host/PluginLog.h"

namespace Lumora {

static_assert(sizeof(ClientConsoleCommandParams) == 24, "the engine's parameter block is 24 bytes");
static_assert(offsetof(ClientConsoleCommandParams, bWriteToLog) == 16, "the flag follows the command");

bool SendClientConsoleCommand(AShooterPlayerController* player, const std::string& command) {
    if (player == nullptr) {
        return false;
    }
    // Every lookup is made anew for every command: nothing here is cached.
    UClass* playerClass = player->ClassPrivateField();
    if (playerClass == nullptr) {
        return false;
    }
    const FName name("ClientRunLocalConsoleCommand", FNAME_Add);
    UFunction* remoteCall = playerClass->FindFunctionByName(name, EIncludeSuperFlag::IncludeSuper);
    if (remoteCall == nullptr) {
        Log::GetLog()->error("{}: ClientRunLocalConsoleCommand RPC was not found; client command was not sent",
                             PluginName);
        return false;
    }
    // Converted only now, so that a failed lookup makes no engine string.
    ClientConsoleCommandParams params{Utf8ToFString(command), false};
    player->ProcessEvent(remoteCall, &params);
    return true;
}

}  // namespace Lumora
