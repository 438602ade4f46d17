#pragma once
// The host's registry of chat, console and RCON commands and of its per-frame, per-second and
// per-chat-line callbacks, in the slot order of the host's own interface.

#include <functional>

#include "API/ARK/Actor.h"

namespace AsaApi {

class ARK_API ICommands {
public:
    virtual ~ICommands() = default;
    // The callback gets the player, the whole chat line, the chat mode and the player's platform.
    virtual void AddChatCommand(const FString& command,
                                const std::function<void(AShooterPlayerController*, FString*, int, int)>& callback) = 0;
    virtual void AddConsoleCommand(const FString& command,
                                   const std::function<void(APlayerController*, FString*, bool)>& callback) = 0;
    virtual void AddRconCommand(const FString& command,
                                const std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>& callback) = 0;
    virtual void AddOnTickCallback(const FString& id, const std::function<void(float)>& callback) = 0;
    virtual void AddOnTimerCallback(const FString& id, const std::function<void()>& callback) = 0;
    // Called for every chat line after the chat commands, with the player, the line, the chat mode,
    // the platform, whether the line came within the spam interval and whether a chat command took
    // it. The line is shown as chat unless a command took it or a callback returns true.
    virtual void AddOnChatMessageCallback(
        const FString& id,
        const std::function<bool(AShooterPlayerController*, FString*, int, int, bool, bool)>& callback) = 0;
    // Each removal takes the first entry equal to the text ignoring case, whoever added it; false
    // when there was none.
    virtual bool RemoveChatCommand(const FString& command) = 0;
    virtual bool RemoveConsoleCommand(const FString& command) = 0;
    virtual bool RemoveRconCommand(const FString& command) = 0;
    virtual bool RemoveOnTickCallback(const FString& id) = 0;
    virtual bool RemoveOnTimerCallback(const FString& id) = 0;
    virtual bool RemoveOnChatMessageCallback(const FString& id) = 0;
};

ARK_API ICommands& APIENTRY GetCommands();

}  // namespace AsaApi
