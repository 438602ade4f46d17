#include "command/ChatReply.h"

#include <memory>
#include <string_view>

#include "host/EngineString.h"

namespace Lumora {

void SendChatReply(const PluginConfig& config, AShooterPlayerController* player, const std::string& text) {
    if (player == nullptr) {
        return;
    }
    const FString sender = Utf8ToFString(config.Sender);
    const FString message = Utf8ToFString(text);
    // The host finds this plugin's messenger by the path of the plugin's own library file.
    const std::shared_ptr<MessagingManager> messenger = AsaApi::GetApiUtils().GetMessagingManager();
    if (!messenger) {
        return;  // the host gave no messenger: the reply is dropped
    }
    // The text is an argument, never the format: braces in it arrive as typed.
    messenger->SendChatMessage(player, sender, TEXT("{}"), *message);
}

std::string FormatEnabledReply(const PluginConfig& config, const std::string& name) {
    static constexpr std::string_view Placeholder = "{preset}";
    std::string reply = config.EnabledMessage;
    if (auto at = reply.find(Placeholder); at != std::string::npos) {
        reply.replace(at, Placeholder.size(), PresetDisplayName(name));
    }
    return reply;
}

}  // namespace Lumora
