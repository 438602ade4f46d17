#pragma once
// One console command line to one player's game client, through the engine's remote call.

#include <string>

#include <API/ARK/Ark.h>

namespace Lumora {

// The engine's parameter block for ClientRunLocalConsoleCommand.
struct ClientConsoleCommandParams {
    FString Command;
    bool bWriteToLog = false;  // the client does not log the command
};

// True once the remote call was handed to the engine; false when nothing was sent.
bool SendClientConsoleCommand(AShooterPlayerController* player, const std::string& command);

}  // namespace Lumora
