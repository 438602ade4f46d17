#pragma once
// The host's registry of chat commands.

#include <functional>

#include "API/ARK/Actor.h"

namespace AsaApi {

class ARK_API ICommands {
public:
    virtual ~ICommands() = default;
    // The callback gets the player, the whole chat line, the chat mode and the player's platform.
    virtual void AddChatCommand(const FString& command,
                                const std::function<void(AShooterPlayerController*, FString*, int, int)>& callback) = 0;
    // Removes the first command equal to command ignoring case; false when there was none.
    virtual bool RemoveChatCommand(const FString& command) = 0;
};

ARK_API ICommands& APIENTRY GetCommands();

}  // namespace AsaApi
