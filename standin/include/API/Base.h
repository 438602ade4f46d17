#pragma once
// The host's export macro, the engine classes it forward-declares, lookups by key and hooks.

#include <string>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cstdint>
using DWORD = std::uint32_t;
using DWORD64 = std::uint64_t;
using ULONGLONG = std::uint64_t;
using LPVOID = void*;
#define APIENTRY
#define __fastcall
#endif

#include "API/UE/HAL/Platform.h"

#if defined(_WIN32)
#ifdef ARK_EXPORTS
#define ARK_API __declspec(dllexport)
#else
#define ARK_API __declspec(dllimport)
#endif
#else
#define ARK_API __attribute__((visibility("default")))
#endif

struct AActor;
struct AController;
struct APlayerController;
struct AShooterGameMode;
struct AShooterPlayerController;
struct RCONClientConnection;
struct RCONPacket;
struct UClass;
struct UFunction;
struct UObject;
struct UWorld;

// The address of a field inside an engine object, by key.
ARK_API DWORD64 GetAddress(const void* base, const std::string& name);
// The address of an engine function, by key.
ARK_API LPVOID GetAddress(const std::string& name);

// Declares a detour Hook_name, its function type name_Func and the slot name_original through
// which the detour reaches the function it stands in for.
#define DECLARE_HOOK(name, returnType, ...)                   \
    typedef returnType(__fastcall* name##_Func)(__VA_ARGS__); \
    inline name##_Func name##_original;                       \
    returnType __fastcall Hook_##name(__VA_ARGS__)
