#pragma once
// The host's detours of engine functions.

#include <string>

#include "API/Base.h"
#include "API/UE/HAL/UnrealMemory.h"

namespace AsaApi {

class ARK_API IHooks {
public:
    virtual ~IHooks() = default;

    // Puts detour in front of the function; original gets what the detour calls to go on (null on
    // failure). Detours of one function are called in the reverse order of their installation.
    template <typename T>
    bool SetHook(const std::string& func_name, LPVOID detour, T** original) {
        return SetHookInternal(func_name, detour, reinterpret_cast<LPVOID*>(original));
    }

    // Takes detour out; its original becomes null, the other detours stay chained.
    virtual bool DisableHook(const std::string& func_name, LPVOID detour) = 0;

private:
    virtual bool SetHookInternal(const std::string& func_name, LPVOID detour, LPVOID* original) = 0;
};

ARK_API IHooks& APIENTRY GetHooks();

}  // namespace AsaApi
