// The engine: classes, names, remote calls, player controllers and their simulated clients.

#include <algorithm>
#include <cstring>

#include "Internal.h"

namespace StandIn {
namespace {

struct Engine {
    std::vector<std::string> names{"None"};
    std::vector<std::unique_ptr<UFunction>> functions;
    std::unique_ptr<UClass> object, actor, controller, playerController, shooterPlayerController;
};

Engine& TheEngine() {
    static Engine* engine = new Engine;
    return *engine;
}

int32 NameIndex(const std::string& name, bool add) {
    auto& names = TheEngine().names;
    auto it = std::find(names.begin(), names.end(), name);
    if (it != names.end()) {
        return static_cast<int32>(it - names.begin());
    }
    if (!add) {
        return 0;
    }
    names.push_back(name);
    return static_cast<int32>(names.size() - 1);
}

std::unique_ptr<UClass> MakeClass(const std::string& name, UClass* super) {
    auto cls = std::make_unique<UClass>();
    cls->name = name;
    cls->super = super;
    return cls;
}

void Declare(UClass& cls, const std::string& function) {
    auto fn = std::make_unique<UFunction>();
    fn->name = function;
    cls.functions[NameIndex(function, true)] = fn.get();
    TheEngine().functions.push_back(std::move(fn));
}

const std::string ConsoleRpc = "ClientRunLocalConsoleCommand";

// ---- the functions behind the keys ----------------------------------------------------------

void FNameCtor(FName* self, const char* name, EFindName find) {
    self->ComparisonIndex = NameIndex(name == nullptr ? "" : name, find == FNAME_Add);
    self->Number = 0;
}

UFunction* FindFunctionByName(UClass* self, FName name, EIncludeSuperFlag::Type includeSuper) {
    if (self == nullptr) {
        return nullptr;
    }
    if (self->failAfter == 0) {
        return nullptr;
    }
    UFunction* found = nullptr;
    for (UClass* cls = self; cls != nullptr;
         cls = includeSuper == EIncludeSuperFlag::IncludeSuper ? cls->super : nullptr) {
        auto it = cls->functions.find(name.ComparisonIndex);
        if (it != cls->functions.end()) {
            found = it->second;
            break;
        }
    }
    if (found != nullptr && self->failAfter > 0) {
        self->failAfter--;
    }
    return found;
}

void ProcessEvent(AActor* self, UFunction* function, void* parameters) {
    if (function == nullptr || function->name != ConsoleRpc || parameters == nullptr) {
        return;
    }
    auto* controller = static_cast<AShooterPlayerController*>(static_cast<AController*>(self));
    Player* player = PlayerOf(controller);
    if (player == nullptr) {
        return;
    }
    // The parameter block: the command as an FString at offset 0, a flag byte at 16.
    FString command;
    std::memcpy(static_cast<void*>(&command), parameters, sizeof(FString));
    std::string text = ToUtf8(ToU16(command));
    player->commands.push_back(text);
    auto space = text.find(' ');
    if (space != std::string::npos && space > 0) {
        player->cvars[text.substr(0, space)] = text.substr(space + 1);
    }
    Event event;
    event.kind = Event::Kind::Console;
    event.player = controller;
    event.text = text;
    Emit(event);
}

FString* GetPlayerCharacterName(AShooterPlayerController* self, FString* result) {
    Player* player = PlayerOf(self);
    FreeFString(*result);
    FString name = MakeFString(player != nullptr ? player->characterName : std::u16string());
    std::memcpy(static_cast<void*>(result), &name, sizeof(FString));
    return result;
}

int32 Stricmp(const TCHAR* a, const TCHAR* b) { return CompareIgnoringCase(a, b); }

void* Malloc(uint64 bytes, uint32 alignment) { return EngineMalloc(bytes, alignment); }
void Free(void* block) { EngineFree(block); }

}  // namespace

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

UClass* PlayerControllerClass() {
    EnsureEngine();
    return TheEngine().shooterPlayerController.get();
}

UClass* BaseControllerClass() {
    EnsureEngine();
    return TheEngine().controller.get();
}

void EngineLogout(AShooterGameMode* gameMode, AController* exiting) {
    if (State().logoutObserver) {
        State().logoutObserver(gameMode, exiting);
    }
}

void* ResolveEngineKey(const std::string& key) {
    // Never destroyed: a plugin's static state may still call in while the process exits.
    static const auto* table = new std::map<std::string, void*>{
        {"FMemory.Malloc(unsigned__int64,unsignedint)", reinterpret_cast<void*>(&Malloc)},
        {"FMemory.Free(void*)", reinterpret_cast<void*>(&Free)},
        {"FName.FName(char*,EFindName)", reinterpret_cast<void*>(&FNameCtor)},
        {"UClass.FindFunctionByName(FName,EIncludeSuperFlag::Type)", reinterpret_cast<void*>(&FindFunctionByName)},
        {"AActor.ProcessEvent(UFunction*,void*)", reinterpret_cast<void*>(&ProcessEvent)},
        {"AShooterPlayerController.GetPlayerCharacterName()", reinterpret_cast<void*>(&GetPlayerCharacterName)},
        {"FGenericPlatformStricmp.Stricmp(wchar_t*,wchar_t*)", reinterpret_cast<void*>(&Stricmp)},
        {"AShooterGameMode.Logout(AController*)", reinterpret_cast<void*>(&EngineLogout)},
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
        if (player->controller.get() == controller && player->connected) {
            return player.get();
        }
    }
    return nullptr;
}

namespace {

void ApplyClass(Player& player) {
    UClass* cls = player.ownClass ? player.ownClass.get() : PlayerControllerClass();
    player.controller->ClassPrivate = player.nullClass ? nullptr : cls;
}

// A new controller object at the same address, with a fresh client. Injected faults stay.
void ResetController(Player& player) {
    AShooterPlayerController* controller = player.controller.get();
    controller->~AShooterPlayerController();
    new (controller) AShooterPlayerController();
    controller->player = &player;
    ApplyClass(player);
    player.commands.clear();
    player.cvars.clear();
    player.connected = true;
}

Player& RequirePlayer(AShooterPlayerController* controller) {
    for (auto& player : State().players) {
        if (player->controller.get() == controller) {
            return *player;
        }
    }
    throw std::invalid_argument("unknown player controller");
}

UClass& OwnClass(Player& player) {
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
    player->controller = std::make_unique<AShooterPlayerController>();
    ResetController(*player);
    AShooterPlayerController* controller = player->controller.get();
    State().players.push_back(std::move(player));
    Event event;
    event.kind = Event::Kind::Join;
    event.player = controller;
    event.text = ToUtf8(characterName);
    Emit(event);
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
    Event event;
    event.kind = Event::Kind::Leave;
    event.player = controller;
    event.text = ToUtf8(player.characterName);
    Emit(event);
}

AShooterPlayerController* Rejoin(AShooterPlayerController* controller) {
    Player& player = RequirePlayer(controller);
    if (player.connected) {
        Leave(controller);
    }
    ResetController(player);
    Event event;
    event.kind = Event::Kind::Join;
    event.player = controller;
    event.text = ToUtf8(player.characterName);
    Emit(event);
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
    UClass& cls = OwnClass(player);
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
