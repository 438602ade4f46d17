#pragma once
// The fps chat command: applies a preset or the baseline to the calling player's own client.

#include <string>
#include <unordered_map>

#include "AsaApi/AsaApi.h"

namespace Lumora {

// Player controller (by address) to the key name of the preset it applied last.
using PresetTable = std::unordered_map<const AShooterPlayerController*, std::string>;
extern PresetTable ActivePresetTable;

void HandleFpsCommand(AShooterPlayerController* player, FString* message, EChatSendMode::Type mode, int32 platform);

}  // namespace Lumora
