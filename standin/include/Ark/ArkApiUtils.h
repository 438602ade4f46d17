#pragma once
// The host's utilities.

#include <memory>
#include <utility>

#include "API/ARK/Actor.h"
#include "API/Helpers/Helpers.h"
#include "Ark/MessagingManager.h"

namespace AsaApi {

class ARK_API IApiUtils {
public:
    virtual ~IApiUtils() = default;

    template <typename T, typename... Args>
    FORCEINLINE void SendChatMessage(AShooterPlayerController* player_controller, const FString& sender_name,
                                     const T* msg, Args&&... args) {
        GetMessagingManager()->SendChatMessage(player_controller, sender_name, msg, std::forward<Args>(args)...);
    }

    // The messaging manager of the plugin this code is part of, found by the plugin's file path.
    FORCEINLINE std::shared_ptr<MessagingManager> GetMessagingManager() const {
        return GetMessagingManagerInternal(GetDllName());
    }

private:
    virtual std::shared_ptr<MessagingManager> GetMessagingManagerInternal(const FString& forPlugin) const = 0;
};

ARK_API IApiUtils& APIENTRY GetApiUtils();

}  // namespace AsaApi
