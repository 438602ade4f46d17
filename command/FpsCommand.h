#pragma once
// The fps chat command: applies a preset or the baseline to the calling player's own client.

#include <string>
#include <unordered_map>

#include <API/ARK/Ark.h>

namespace Lumora {

// Player controller (by address) to the key name of the preset it applied last.
using PresetTable = std::unordered_map<const AShooterPlayerController*, std::string>;
extern PresetTable ActivePresetTable;

// The chat callback of every alias. Nothing thrown inside it reaches the host.
void HandleFpsCommand(AShooterPlayerController* player, FString* message, int mode, int platform);

}  // namespace Lumora
