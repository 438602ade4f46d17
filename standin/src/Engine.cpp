// The engine: classes, names, remote calls, player controllers and their simulated clients.

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "Internal.h"

namespace StandIn {
namespace {

struct Engine {
    std::vector<std::string> names{"None"};
    std::vector<std::unique_ptr<FunctionObject>> functions;
    std::unique_ptr<ClassObject> object, actor, controller, playerController, shooterPlayerController;
};

Engine& TheEngine() {
    static Engine* engine = new Engine;
    return *engine;
}

std::uint32_t NameIndex(const std::string& name, bool add) {
    auto& names = TheEngine().names;
    auto it = std::find(names.begin(), names.end(), name);
    if (it != names.end()) {
        return static_cast<std::uint32_t>(it - names.begin());
    }
    if (!add) {
        return 0;
    }
    names.push_back(name);
    return static_cast<std::uint32_t>(names.size() - 1);
}

struct NameParts {
    std::uint32_t index = 0;
    std::uint32_t number = 0;
};
static_assert(sizeof(NameParts) == sizeof(FName), "FName is an index and a number");

std::unique_ptr<ClassObject> MakeClass(const std::string& name, ClassObject* super) {
    auto cls = std::make_unique<ClassObject>();
    cls->name = name;
    cls->super = super;
    return cls;
}

void Declare(ClassObject& cls, const std::string& function) {
    auto fn = std::make_unique<FunctionObject>();
    fn->name = function;
    cls.functions[NameIndex(function, true)] = fn.get();
    TheEngine().functions.push_back(std::move(fn));
}

const std::string ConsoleRpc = "ClientRunLocalConsoleCommand";

// ---- the functions behind the keys, with the types the plugin calls them through ----------------

void __fastcall FNameCtor(DWORD64 self, const char* name, EFindName find) {
    Keep(State().nameRequests, {name == nullptr ? "" : name, static_cast<int>(find)});
    NameParts parts{NameIndex(name == nullptr ? "" : name, find == FNAME_Add), 0};
    std::memcpy(reinterpret_cast<void*>(self), &parts, sizeof parts);
}

UFunction* __fastcall FindFunctionByName(DWORD64 self, FName name, EIncludeSuperFlag::Type includeSuper) {
    auto* cls = reinterpret_cast<ClassObject*>(self);
    if (cls == nullptr || cls->failAfter == 0) {
        return nullptr;
    }
    NameParts parts;
    std::memcpy(static_cast<void*>(&parts), static_cast<const void*>(&name), sizeof parts);
    FunctionObject* found = nullptr;
    for (ClassObject* c = cls; c != nullptr; c = includeSuper == EIncludeSuperFlag::IncludeSuper ? c->super : nullptr) {
        auto it = c->functions.find(parts.index);
        if (it != c->functions.end()) {
            found = it->second;
            break;
        }
    }
    if (found != nullptr && cls->failAfter > 0) {
        cls->failAfter--;
    }
    return reinterpret_cast<UFunction*>(found);
}

void __fastcall ProcessEvent(DWORD64 self, UFunction* function, void* parameters) {
    auto* fn = reinterpret_cast<FunctionObject*>(function);
    if (fn == nullptr || fn->name != ConsoleRpc || parameters == nullptr) {
        return;
    }
    auto* controller = reinterpret_cast<AShooterPlayerController*>(self);
    Player* player = PlayerOf(controller);
    if (player == nullptr) {
        return;
    }
    ThrowIfEngineFault("ProcessEvent");
    // The parameter block: the command as an FString at offset 0, a flag byte at 16, always 0.
    const unsigned flag = static_cast<const unsigned char*>(parameters)[16];
    if (flag != 0) {
        HostError(ConsoleRpc + ": the flag byte is " + std::to_string(flag) + ", not 0; the command was not run");
        return;
    }
    const auto* command = static_cast<const FString*>(parameters);
    std::string text = ToUtf8(ToU16(*command));
    Keep(player->commands, text);
    auto space = text.find(' ');
    if (space != std::string::npos && space > 0) {
        player->cvars[text.substr(0, space)] = text.substr(space + 1);
    }
    Emit(Event::Kind::Console, controller, text);
}

// The engine makes the string in the caller's result, which holds no buffer yet.
FString* __fastcall GetPlayerCharacterName(DWORD64 self, FString* result) {
    Player* player = PlayerOf(reinterpret_cast<AShooterPlayerController*>(self));
    ThrowIfEngineFault("GetPlayerCharacterName");
    *result = MakeFString(player != nullptr ? player->characterName : std::u16string());
    return result;
}

int32 __fastcall Stricmp(const WIDECHAR* a, const WIDECHAR* b) {
    return CompareIgnoringCase(reinterpret_cast<const char16_t*>(a), reinterpret_cast<const char16_t*>(b));
}

void* __fastcall Malloc(uint64 bytes, uint32 alignment) { return EngineMalloc(bytes, alignment); }
void* __fastcall Realloc(void* block, uint64 bytes, uint32 alignment) { return EngineRealloc(block, bytes, alignment); }
void __fastcall Free(void* block) { EngineFree(block); }

}  // namespace

void ThrowIfEngineFault(const char* what) {
    if (State().engineThrows) {
        throw std::runtime_error(std::string("engine fault in ") + what);
    }
}

void EnsureEngine() {
    Engine& engine = TheEngine();
    if (engine.object) {
        return;
    }
    engine.object = MakeClass("Object", nullptr);
    engine.actor = MakeClass("Actor", engine.object.get());
    engine.controller = MakeClass("Controller", engine.actor.get());
    engine.playerController = MakeClass("PlayerController", engine.controller.get());
    engine.shooterPlayerController = MakeClass("ShooterPlayerController", engine.playerController.get());
    Declare(*engine.actor, "ReceiveBeginPlay");
    Declare(*engine.playerController, ConsoleRpc);  // declared on the base class
    Declare(*engine.playerController, "ClientMessage");
    Declare(*engine.shooterPlayerController, "ClientNotifyLevelUp");
}

ClassObject* PlayerControllerClass() {
    EnsureEngine();
    return TheEngine().shooterPlayerController.get();
}

ClassObject* BaseControllerClass() {
    EnsureEngine();
    return TheEngine().controller.get();
}

void __fastcall EngineLogout(AShooterGameMode* gameMode, AController* exiting) {
    if (State().logoutObserver) {
        State().logoutObserver(gameMode, exiting);
    }
}

void* ResolveEngineKey(const std::string& key) {
    // Never destroyed: a plugin's static state may still call in while the process exits.
    static const auto* table = new std::map<std::string, void*>{
        {"FMemory.Malloc(unsigned__int64,unsignedint)", reinterpret_cast<void*>(&Malloc)},
        {"FMemory.Realloc(void*,unsigned__int64,unsignedint)", reinterpret_cast<void*>(&Realloc)},
        {"FMemory.Free(void*)", reinterpret_cast<void*>(&Free)},
        {"FName.FName(char*,EFindName)", reinterpret_cast<void*>(&FNameCtor)},
        {"UClass.FindFunctionByName(FName,EIncludeSuperFlag::Type)", reinterpret_cast<void*>(&FindFunctionByName)},
        {"AActor.ProcessEvent(UFunction*,void*)", reinterpret_cast<void*>(&ProcessEvent)},
        {"AShooterPlayerController.GetPlayerCharacterName()", reinterpret_cast<void*>(&GetPlayerCharacterName)},
        {"FGenericPlatformStricmp.Stricmp(wchar_t*,wchar_t*)", reinterpret_cast<void*>(&Stricmp)},
        {LogoutKey, reinterpret_cast<void*>(&EngineLogout)},
    };
    auto it = table->find(key);
    return it == table->end() ? nullptr : it->second;
}

// ---- players ------------------------------------------------------------------------------

Player* PlayerOf(AShooterPlayerController* controller) {
    if (controller == nullptr) {
        return nullptr;
    }
    for (auto& player : State().players) {
        if (AsController(player->controller.get()) == controller && player->connected) {
            return player.get();
        }
    }
    return nullptr;
}

namespace {

void ApplyClass(Player& player) {
    ClassObject* cls = player.ownClass ? player.ownClass.get() : PlayerControllerClass();
    player.controller->header.classPrivate = player.nullClass ? nullptr : cls;
}

// A new controller object at the same address, with a fresh client. Injected faults stay.
void ResetController(Player& player) {
    ControllerObject* controller = player.controller.get();
    *controller = ControllerObject{};
    controller->player = &player;
    ApplyClass(player);
    player.commands.clear();
    player.cvars.clear();
    player.connected = true;
    player.lastChatMs = 0;
}

Player& RequirePlayer(AShooterPlayerController* controller) {
    for (auto& player : State().players) {
        if (AsController(player->controller.get()) == controller) {
            return *player;
        }
    }
    throw std::invalid_argument("unknown player controller");
}

ClassObject& OwnClass(Player& player) {
    if (!player.ownClass) {
        player.ownClass = MakeClass("ShooterPlayerController", PlayerControllerClass()->super);
        player.ownClass->functions = PlayerControllerClass()->functions;
        ApplyClass(player);
    }
    return *player.ownClass;
}

}  // namespace

AShooterPlayerController* JoinWide(const std::u16string& characterName) {
    auto player = std::make_unique<Player>();
    player->characterName = characterName;
    player->controller = std::make_unique<ControllerObject>();
    ResetController(*player);
    AShooterPlayerController* controller = AsController(player->controller.get());
    State().players.push_back(std::move(player));
    Emit(Event::Kind::Join, controller, ToUtf8(characterName));
    return controller;
}

AShooterPlayerController* Join(const std::string& characterName) { return JoinWide(ToUtf16(characterName)); }

void Leave(AShooterPlayerController* controller) {
    Player& player = RequirePlayer(controller);
    if (!player.connected) {
        return;
    }
    CallLogout(controller);
    player.connected = false;
    Emit(Event::Kind::Leave, controller, ToUtf8(player.characterName));
}

AShooterPlayerController* Rejoin(AShooterPlayerController* controller) {
    Player& player = RequirePlayer(controller);
    if (player.connected) {
        Leave(controller);
    }
    ResetController(player);
    Emit(Event::Kind::Join, controller, ToUtf8(player.characterName));
    return controller;
}

bool IsConnected(AShooterPlayerController* controller) { return PlayerOf(controller) != nullptr; }

void RenameWide(AShooterPlayerController* controller, const std::u16string& characterName) {
    RequirePlayer(controller).characterName = characterName;
}

void Forget(AShooterPlayerController* controller) {
    Player& player = RequirePlayer(controller);
    if (player.connected) {
        Leave(controller);
    }
    auto& players = State().players;
    std::erase_if(players, [&](const std::unique_ptr<Player>& entry) { return entry.get() == &player; });
}

std::vector<std::string> ClientCommands(AShooterPlayerController* controller) {
    return RequirePlayer(controller).commands;
}

std::map<std::string, std::string> ClientCvars(AShooterPlayerController* controller) {
    return RequirePlayer(controller).cvars;
}

void ClearClientCommands(AShooterPlayerController* controller) { RequirePlayer(controller).commands.clear(); }

void FaultNoRpc(AShooterPlayerController* controller) {
    Player& player = RequirePlayer(controller);
    ClassObject& cls = OwnClass(player);
    cls.functions.erase(NameIndex(ConsoleRpc, true));
    cls.super = BaseControllerClass();  // and no base class that declares it
}

void FaultNullClass(AShooterPlayerController* controller) {
    Player& player = RequirePlayer(controller);
    player.nullClass = true;
    ApplyClass(player);
}

void ClearPlayerFaults() {
    for (auto& player : State().players) {
        player->ownClass.reset();
        player->nullClass = false;
        ApplyClass(*player);
    }
}

void FaultRpcFailsAfter(AShooterPlayerController* controller, int n) {
    OwnClass(RequirePlayer(controller)).failAfter = std::max(n, 0);
}

}  // namespace StandIn
