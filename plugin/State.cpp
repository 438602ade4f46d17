// Process-wide state, defined together so that it is built in this order at library load and
// destroyed in the reverse order at detach.

// The engine's key strings come first: they are then made before, and destroyed after, the state
// below, whose destruction still hands engine buffers back.
#include "host/Engine.h"

#include "command/FpsCommand.h"
#include "config/PluginConfig.h"
#include "host/EngineString.h"
#include "plugin/Plugin.h"

namespace Lumora {

PluginConfig CurrentConfig = BuiltInConfig();
PresetTable ActivePresetTable;
AliasList RegisteredAliases;
EngineFn::Logout LogoutTrampoline = nullptr;
bool LogoutHookInstalled = false;

AliasList::~AliasList() { Clear(); }

void AliasList::Clear() noexcept {
    for (const FString& alias : entries) {
        ReleaseFString(alias);
    }
    entries.clear();
}

}  // namespace Lumora
