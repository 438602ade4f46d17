#pragma once
// The full path of the library file that this code was built into.

#include "API/UE/Containers/UnrealString.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

FORCEINLINE FString GetDllName() {
#if defined(_WIN32)
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&GetDllName), &module);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return FString(path);
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&GetDllName), &info) == 0 || info.dli_fname == nullptr) {
        return FString();
    }
    return FString(UTF8_TO_TCHAR(info.dli_fname));
#endif
}
