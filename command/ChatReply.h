#pragma once
// Chat replies to one player, and how presets are shown to people.

#include <string>

#include <API/ARK/Ark.h>

#include "config/PluginConfig.h"
#include "host/Messages.h"

namespace Lumora {

// One chat line to this player alone, under the configured sender. Nothing is reported back.
void SendChatReply(const PluginConfig& config, AShooterPlayerController* player, const std::string& text);

// "medium" is shown as "Medium".
std::string PresetDisplayName(const std::string& name);

// The configured enabled message with its first "{preset}" replaced by the preset's display name.
std::string FormatEnabledReply(const PluginConfig& config, const std::string& name);

}  // namespace Lumora
