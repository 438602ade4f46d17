// Process-wide state, defined together so that it is built in this order at library load and
// destroyed in the reverse order at detach.

#include "command/FpsCommand.h"
#include "config/PluginConfig.h"
#include "plugin/Plugin.h"

namespace Lumora {

PluginConfig CurrentConfig = BuiltInConfig();
ActivePresetMap ActivePresetTable;
std::vector<FString> RegisteredAliases;
std::vector<FString> WordAliases;
bool LogoutHookInstalled = false;

}  // namespace Lumora
