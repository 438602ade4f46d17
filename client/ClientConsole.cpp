#include "client/ClientConsole.h"

#include <cstddef>

#include "host/Engine.h"
#include "host/EngineString.h"
#include "plugin/PluginLog.h"

namespace Lumora {

static_assert(sizeof(ClientConsoleCommandParams) == 24, "the engine's parameter block is 24 bytes");
static_assert(offsetof(ClientConsoleCommandParams, Flag) == 16, "the flag follows the command");

namespace {

bool RemoteCallMissing() {
    WriteLog(spdlog::level::err, "{}: ClientRunLocalConsoleCommand RPC was not found; client command was not sent",
             PluginName);
    return false;
}

}  // namespace

bool SendClientConsoleCommand(AShooterPlayerController* player, const std::string& command) {
    if (player == nullptr) {
        return false;
    }
    UClass* playerClass = ReadObjectClass(player);
    if (playerClass == nullptr) {
        return false;
    }
    // Every lookup is made anew for every command: nothing here is cached.
    auto makeName = LookupEngineFunction<EngineFn::FNameCtor>(FNameCtorKey);
    if (makeName == nullptr) {
        return RemoteCallMissing();
    }
    FName name;
    makeName(&name, "ClientRunLocalConsoleCommand", FNAME_Add);
    auto findFunction = LookupEngineFunction<EngineFn::FindFunctionByName>(FindFunctionByNameKey);
    UFunction* remoteCall =
        findFunction == nullptr ? nullptr : findFunction(playerClass, name, EIncludeSuperFlag::IncludeSuper);
    if (remoteCall == nullptr) {
        return RemoteCallMissing();
    }
    // Converted only now, so that a failed lookup allocates nothing.
    ClientConsoleCommandParams params{Utf8ToFString(command), false};
    const FStringRelease release{params.Command};
    auto processEvent = LookupEngineFunction<EngineFn::ProcessEvent>(ProcessEventKey);
    if (processEvent == nullptr) {
        return RemoteCallMissing();
    }
    processEvent(reinterpret_cast<AActor*>(player), remoteCall, &params);
    return true;
}

}  // namespace Lumora
