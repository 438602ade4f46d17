#pragma once
// Chat replies to one player, and how presets are shown to people.

#include <string>

#include <API/ARK/Ark.h>

#include "config/PluginConfig.h"

namespace Lumora {

inline constexpr char NoActivePresetReply[] = "No Lumora preset is active. /fps on uses the configured default.";
inline constexpr char ActivePresetReplyPrefix[] = "Active Lumora preset: ";
inline constexpr char PresetNotAvailableReply[] = "That performance preset is not available. Check config.json.";
inline constexpr char PresetFailedReply[] = "Unable to apply the performance preset; check the server API log.";
inline constexpr char BaselineFailedReply[] = "Unable to apply the baseline; check the server API log.";

// One chat line to this player alone, under the configured sender. Nothing is reported back.
void SendChatReply(const PluginConfig& config, AShooterPlayerController* player, const std::string& text);

// "medium" is shown as "Medium".
std::string PresetDisplayName(const std::string& name);

// The configured enabled message with its first "{preset}" replaced by the preset's display name.
std::string FormatEnabledReply(const PluginConfig& config, const std::string& name);

}  // namespace Lumora
