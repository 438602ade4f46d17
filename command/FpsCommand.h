#pragma once
// The fps chat command: applies a preset or the baseline to the calling player's own client.

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <API/ARK/Ark.h>

#include "command/FpsArgument.h"
#include "config/PluginConfig.h"

namespace Lumora {

// Player controller (by address) to the key name of the preset it applied last.
using ActivePresetMap = std::unordered_map<const AShooterPlayerController*, std::string>;
extern ActivePresetMap ActivePresetTable;

// The word aliases ("fps"), each owning its engine buffer. They are not chat commands: the host would
// swallow every line that begins with one, so HandleFpsChatMessage looks at the lines instead.
extern std::vector<FString> WordAliases;

// What one fps command does for one player under this configuration: commands to the client, a
// reply, perhaps a usage line; table keeps the preset each player applied last.
void RunFpsCommand(const PluginConfig& config, ActivePresetMap& table, AShooterPlayerController* player,
                   FpsAction action);

// The action a chat line asks for when its first word is one of wordAliases (ignoring case) and
// the rest is a whole fps command; nothing for every other line.
std::optional<FpsAction> WordAliasAction(const std::vector<FString>& wordAliases, const FString& line);

// The chat callback of every command alias. Nothing thrown inside it reaches the host.
void HandleFpsCommand(AShooterPlayerController* player, FString* message, int mode, int platform);

// The host's chat-message callback, called for every chat line after the chat commands. Takes the
// line (true) only when no chat command took it, its first word is a word alias and the rest is a
// whole fps command; it then does what the same line with a command alias does. Every other line
// is left alone (false), to be shown as chat. Nothing thrown inside it reaches the host.
bool HandleFpsChatMessage(AShooterPlayerController* player, FString* message, int mode, int platform, bool spamCheck,
                          bool commandExecuted);

}  // namespace Lumora
