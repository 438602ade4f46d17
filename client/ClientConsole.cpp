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
    // The engine's objects and functions are reached by key on every call: an address kept from an
    // earlier call could belong to a class the game has since replaced, and a lookup costs little
    // beside the remote call itself.
    UClass* playerClass = player->ClassPrivateField();
    if (playerClass == nullptr) {
        return false;
    }
    // The host's key for this function names its _Implementation, which would run the command on
    // the server itself. Found by name on the player's class and run through ProcessEvent, the same
    // function is the remote call that the engine sends to that one player's client. FNAME_Add makes
    // the name if the engine has not seen it yet; FNAME_Find would give no name then, and so no
    // function.
    const FName name("ClientRunLocalConsoleCommand", FNAME_Add);
    UFunction* remoteCall = playerClass->FindFunctionByName(name, EIncludeSuperFlag::IncludeSuper);
    if (remoteCall == nullptr) {
        WriteLog<NoRemoteCallLine>();
        return false;
    }
    // Converted only now, so that a failed lookup makes no engine string.
    ClientConsoleCommandParams params{Utf8ToFString(command), false};
    player->ProcessEvent(remoteCall, &params);
    return true;
}

}  // namespace Lumora
