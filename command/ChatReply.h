#pragma once
// Chat replies to one player.

#include <string>

#include <API/ARK/Ark.h>

#include "config/PluginConfig.h"
#include "host/Messages.h"

namespace Lumora {

// One chat line to this player alone, under the configured sender. Nothing is reported back.
void SendChatReply(const PluginConfig& config, AShooterPlayerController* player, const std::string& text);

// The configured enabled message with its first "{preset}" replaced by the preset's display name.
std::string FormatEnabledReply(const PluginConfig& config, const std::string& name);

}  // namespace Lumora
