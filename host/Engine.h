#pragma once
// Engine functions and fields, reached by key through the host at every use; nothing is cached.

#include <string>

#include "AsaApi/AsaApi.h"

namespace Lumora {

inline constexpr char MallocKey[] = "FMemory.Malloc(unsigned__int64,unsignedint)";
inline constexpr char FreeKey[] = "FMemory.Free(void*)";
inline constexpr char ClassPrivateKey[] = "UObjectBase.ClassPrivate";
inline constexpr char FNameCtorKey[] = "FName.FName(char*,EFindName)";
inline constexpr char FindFunctionByNameKey[] = "UClass.FindFunctionByName(FName,EIncludeSuperFlag::Type)";
inline constexpr char ProcessEventKey[] = "AActor.ProcessEvent(UFunction*,void*)";
inline constexpr char GetPlayerCharacterNameKey[] = "AShooterPlayerController.GetPlayerCharacterName()";
inline constexpr char StricmpKey[] = "FGenericPlatformStricmp.Stricmp(wchar_t*,wchar_t*)";

// The engine function behind key, typed; null when the host cannot resolve it.
template <typename Fn>
Fn LookupEngineFunction(const char* key) {
    return reinterpret_cast<Fn>(GetAddress(std::string(key)));
}

// The class of an engine object, read from its ClassPrivate field; null when there is none.
UClass* ReadObjectClass(const void* object);

}  // namespace Lumora
