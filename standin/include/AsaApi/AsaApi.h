#pragma once
// The AsaApi host as a plugin reaches it: the exports of the host's library.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <spdlog/sinks/sink.h>

#include "AsaApi/Containers.h"
#include "AsaApi/Engine.h"

namespace EChatSendMode {
enum Type : int32 { GlobalChat = 0, GlobalTribeChat = 1, LocalChat = 2, AllianceChat = 3 };
}

using ChatCommandCallback = void (*)(AShooterPlayerController* player, FString* message, EChatSendMode::Type mode,
                                     int32 platform);

namespace AsaApi {

class ICommands {
public:
    virtual ~ICommands() = default;
    virtual void RegisterChatCommand(
        const FString& command,
        const std::function<void(AShooterPlayerController*, FString*, EChatSendMode::Type, int32)>& callback) = 0;
    virtual bool UnregisterChatCommand(const FString& command) = 0;
};

class IHooks {
public:
    virtual ~IHooks() = default;
    virtual bool RemoveHook(const std::string& key, void* detour) = 0;
    // On success the slot holds the address through which the detour reaches the original.
    virtual bool InstallHook(const std::string& key, void* detour, void** original) = 0;
};

class ChatMessenger {
public:
    virtual ~ChatMessenger() = default;
    virtual void SendChatLine(AShooterPlayerController* player, const FString& sender, const FString& text) = 0;
};

class IApiUtils {
public:
    virtual ~IApiUtils() = default;
    // The messenger of the plugin whose library file is at pluginPath.
    virtual std::shared_ptr<ChatMessenger> GetChatMessenger(const FString& pluginPath) = 0;
};

ASAAPI_API ICommands& GetCommands();
ASAAPI_API IHooks& GetHooks();
ASAAPI_API IApiUtils& GetApiUtils();

namespace Tools {
ASAAPI_API std::string GetCurrentDir();
}

}  // namespace AsaApi

ASAAPI_API std::vector<spdlog::sink_ptr>& GetLogSinks();

// Address of an engine function, by key; nullptr when the key does not resolve.
ASAAPI_API void* GetAddress(const std::string& key);
// Address of a field inside an engine object, by key; nullptr when the key does not resolve.
ASAAPI_API void* GetAddress(const void* object, const std::string& key);
