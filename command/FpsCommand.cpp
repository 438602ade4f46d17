#include "command/FpsCommand.h"

#include <cstdint>
#include <string>

#include "client/ClientConsole.h"
#include "command/ChatReply.h"
#include "command/FpsArgument.h"
#include "config/PluginConfig.h"
#include "host/EngineString.h"
#include "host/PluginLog.h"
#include "host/ShownText.h"

namespace Lumora {
namespace {

// Fetched only when the log line of an applied preset or baseline is written. The game's own limits on names are not
// known here, so the name is shown escaped and cut, like any text from outside; it stands between single
// quotes, so a quote in it is escaped too.
std::string CharacterNameOf(AShooterPlayerController* player) {
    FString name("");
    player->GetPlayerCharacterName(&name);
    return EscapeQuoted(FStringToUtf8(name), '\'');
}

// The first word of the line compared as the host compares chat commands, ignoring case. Only that
// word is read: every chat line of every player comes here, and most are no command at all.
bool StartsWithWordAlias(const std::vector<FString>& wordAliases, const FString& line) {
    using Traits = std::char_traits<TCHAR>;
    const TCHAR* start = *line;
    while (*start == TEXT(' ')) {
        ++start;
    }
    std::size_t length = 0;
    while (start[length] != TEXT('\0') && start[length] != TEXT(' ')) {
        ++length;
    }
    if (length == 0) {
        return false;
    }
    for (const FString& alias : wordAliases) {
        if (Traits::length(*alias) == length &&
            FGenericPlatformStricmp::Stricmp(std::basic_string<TCHAR>(start, length).c_str(), *alias) == 0) {
            return true;
        }
    }
    return false;
}

// Sends every command in order; stops at the first one that was not sent.
bool SendAll(AShooterPlayerController* player, const CommandList& commands) {
    for (const std::string& command : commands) {
        if (!SendClientConsoleCommand(player, command)) {
            return false;
        }
    }
    return true;
}

// The preset a level action names; On and Toggle use the configured default.
std::string PresetNameFor(const PluginConfig& config, FpsAction action) {
    if (const auto level = PresetLevelOf(action)) {
        return std::string(*level);
    }
    return config.DefaultPreset;
}

void ApplyPreset(const PluginConfig& config, ActivePresetMap& table, AShooterPlayerController* player,
                 const std::string& name) {
    auto preset = config.Presets.find(name);
    if (preset == config.Presets.end()) {
        SendChatReply(config, player, ReplyText(FixedReply::PresetNotAvailable));
        return;
    }
    if (!SendAll(player, preset->second)) {
        SendChatReply(config, player, ReplyText(FixedReply::PresetFailed));
        return;
    }
    table[player] = name;
    SendChatReply(config, player, FormatEnabledReply(config, name));
    if (config.LogUsage) {
        WriteLog<PresetAppliedLine>(CharacterNameOf(player), PresetDisplayName(name),
                                    static_cast<std::uint64_t>(preset->second.size()));
    }
}

void ApplyBaseline(const PluginConfig& config, ActivePresetMap& table, AShooterPlayerController* player) {
    if (!SendAll(player, config.OffCommands)) {
        SendChatReply(config, player, ReplyText(FixedReply::BaselineFailed));
        return;
    }
    table.erase(player);
    SendChatReply(config, player, config.DisabledMessage);
    if (config.LogUsage) {
        WriteLog<BaselineAppliedLine>(CharacterNameOf(player), static_cast<std::uint64_t>(config.OffCommands.size()));
    }
}

}  // namespace

void RunFpsCommand(const PluginConfig& config, ActivePresetMap& table, AShooterPlayerController* player,
                   FpsAction action) {
    switch (action) {
        case FpsAction::Usage:
            SendChatReply(config, player, config.UsageMessage);
            return;
        case FpsAction::Help:
            SendChatReply(config, player, config.HelpMessage);
            return;
        case FpsAction::Status: {
            auto entry = table.find(player);
            if (entry == table.end()) {
                SendChatReply(config, player, ReplyText(FixedReply::NoActivePreset));
            } else {
                SendChatReply(config, player,
                              ReplyText(FixedReply::ActivePresetPrefix) + PresetDisplayName(entry->second) + ".");
            }
            return;
        }
        default:
            break;
    }
    const bool hasEntry = table.count(player) != 0;
    if (action == FpsAction::Off || (action == FpsAction::Toggle && hasEntry)) {
        ApplyBaseline(config, table, player);
        return;
    }
    ApplyPreset(config, table, player, PresetNameFor(config, action));
}

std::optional<FpsAction> WordAliasAction(const std::vector<FString>& wordAliases, const FString& line) {
    if (!StartsWithWordAlias(wordAliases, line)) {
        return std::nullopt;
    }
    // "fps is terrible" is a sentence, not a command with a wrong argument.
    const FpsAction action = ParseFpsArgument(line);
    return action == FpsAction::Usage ? std::nullopt : std::optional<FpsAction>(action);
}

void HandleFpsCommand(AShooterPlayerController* player, FString* message, int /*mode*/, int /*platform*/) {
    if (player == nullptr || message == nullptr) {
        return;
    }
    // What was sent stays sent and the table keeps what it held.
    RunGuarded("the fps command",
               [&] { RunFpsCommand(CurrentConfig, ActivePresetTable, player, ParseFpsArgument(*message)); });
}

bool HandleFpsChatMessage(AShooterPlayerController* player, FString* message, int /*mode*/, int /*platform*/,
                          bool /*spamCheck*/, bool commandExecuted) {
    if (commandExecuted || player == nullptr || message == nullptr || WordAliases.empty()) {
        return false;
    }
    bool taken = false;
    RunGuarded("the fps command", [&] {
        if (const auto action = WordAliasAction(WordAliases, *message)) {
            taken = true;
            RunFpsCommand(CurrentConfig, ActivePresetTable, player, *action);
        }
    });
    return taken;
}

}  // namespace Lumora
