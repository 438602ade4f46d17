#pragma once
// Engine functions and fields, reached by key through the host at every use; nothing is cached.

#include <string>

#include "AsaApi/AsaApi.h"

namespace Lumora {

inline const std::string MallocKey = "FMemory.Malloc(unsigned__int64,unsignedint)";
inline const std::string FreeKey = "FMemory.Free(void*)";
inline const std::string ClassPrivateKey = "UObjectBase.ClassPrivate";
inline const std::string FNameCtorKey = "FName.FName(char*,EFindName)";
inline const std::string FindFunctionByNameKey = "UClass.FindFunctionByName(FName,EIncludeSuperFlag::Type)";
inline const std::string ProcessEventKey = "AActor.ProcessEvent(UFunction*,void*)";
inline const std::string GetPlayerCharacterNameKey = "AShooterPlayerController.GetPlayerCharacterName()";
inline const std::string StricmpKey = "FGenericPlatformStricmp.Stricmp(wchar_t*,wchar_t*)";

// The engine function behind key, typed; null when the host cannot resolve it. The key strings are
// made once; the lookup itself is made at every use.
template <typename Fn>
Fn LookupEngineFunction(const std::string& key) {
    return reinterpret_cast<Fn>(GetAddress(key));
}

// The class of an engine object, read from its ClassPrivate field; null when there is none.
UClass* ReadObjectClass(const void* object);

}  // namespace Lumora
