// Process-wide state, defined together because only within one file does C++ fix the order in
// which statics are built at library load (and, reversed, destroyed at detach); spread over files
// the order would be whatever the linker chose. Built: the configuration first, since everything
// else is read against it; at detach the alias strings, which hand their buffers back to the
// engine, go before the table and the configuration.

#include "command/FpsCommand.h"
#include "config/PluginConfig.h"
#include "plugin/Plugin.h"

namespace Lumora {

PluginConfig CurrentConfig = BuiltInConfig();
ActivePresetMap ActivePresetTable;
std::vector<FString> RegisteredAliases;
std::vector<FString> WordAliases;
bool LogoutHookInstalled = false;
bool ChatCallbackRegistered = false;

}  // namespace Lumora
