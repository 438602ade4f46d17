#pragma once
// Sends messages to players on behalf of one plugin.

#include <utility>

#include "API/ARK/Actor.h"

class ARK_API MessagingManager {
public:
    virtual ~MessagingManager() = default;

    // One chat line to this player alone: msg is an fmt format, args its arguments.
    template <typename T, typename... Args>
    FORCEINLINE void SendChatMessage(AShooterPlayerController* player_controller, const FString& sender_name,
                                     const T* msg, Args&&... args) {
        if (!player_controller) {
            return;
        }
        const FString text(FString::Format(msg, std::forward<Args>(args)...));
        SendChatMessage_Impl(player_controller, sender_name, text);
    }

protected:
    virtual void SendChatMessage_Impl(AShooterPlayerController* player_controller, const FString& sender_name,
                                      const FString& msg);
};
