#pragma once
// The game server's engine as the plugin sees it: opaque objects, reached through addresses that
// the host resolves by key. The function types below are those of the functions behind the keys;
// member functions take their object as the first argument.

#include "AsaApi/Containers.h"

struct UObject;
struct UClass;
struct UFunction;
struct AActor;
struct AController;
struct AShooterPlayerController;
struct AShooterGameMode;

namespace EngineFn {
using FMemoryMalloc = void* (*)(uint64 bytes, uint32 alignment);  // "FMemory.Malloc(unsigned__int64,unsignedint)"
using FMemoryFree = void (*)(void* block);                        // "FMemory.Free(void*)"
using FNameCtor = void (*)(FName* self, const char* name, EFindName find);  // "FName.FName(char*,EFindName)"
using FindFunctionByName = UFunction* (*)(UClass* self, FName name, EIncludeSuperFlag::Type includeSuper);
using ProcessEvent = void (*)(AActor* self, UFunction* function, void* parameters);
using GetPlayerCharacterName = FString* (*)(AShooterPlayerController* self, FString* result);
using Stricmp = int32 (*)(const TCHAR* a, const TCHAR* b);
using Logout = void (*)(AShooterGameMode* self, AController* exiting);
}  // namespace EngineFn
