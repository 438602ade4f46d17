#include "command/ChatReply.h"

#include <string_view>

#include <fmt/xchar.h>

#include "config/PluginConfig.h"
#include "host/EngineString.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace Lumora {
namespace {

// The full path of this plugin's own library file, as the host loaded it.
FString PluginModulePath() {
#if defined(_WIN32)
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&PluginModulePath), &module);
    wchar_t path[260] = {};
    GetModuleFileNameW(module, path, 260);
    return FString(path);
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&PluginModulePath), &info) == 0 || info.dli_fname == nullptr) {
        return FString();
    }
    return Utf8ToFString(info.dli_fname);
#endif
}

}  // namespace

void SendChatReply(AShooterPlayerController* player, const std::string& text) {
    if (player == nullptr) {
        return;
    }
    ScopedFString sender(Utf8ToFString(CurrentConfig.Sender));
    ScopedFString message(Utf8ToFString(text));
    AsaApi::IApiUtils& utils = AsaApi::GetApiUtils();
    std::shared_ptr<AsaApi::ChatMessenger> messenger;
    {
        ScopedFString path(PluginModulePath());
        messenger = utils.GetChatMessenger(path.value);
    }
    if (!messenger) {
        return;  // the host gave no messenger: the reply is dropped
    }
    // The text is an argument, never a format string: braces in it arrive as typed.
    const std::basic_string<TCHAR> formatted =
        fmt::format(ASA_TEXT("{}"), std::basic_string_view<TCHAR>(*message.value));
    ScopedFString line(FString(formatted.c_str()));
    messenger->SendChatLine(player, sender.value, line.value);
}

std::string PresetDisplayName(const std::string& name) {
    std::string shown = name;
    if (!shown.empty()) {
        shown[0] = AsciiUpper(shown[0]);
    }
    return shown;
}

std::string FormatEnabledReply(const std::string& name) {
    static constexpr std::string_view Placeholder = "{preset}";
    std::string reply = CurrentConfig.EnabledMessage;
    if (auto at = reply.find(Placeholder); at != std::string::npos) {
        reply.replace(at, Placeholder.size(), PresetDisplayName(name));
    }
    return reply;
}

}  // namespace Lumora
