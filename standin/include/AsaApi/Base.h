#pragma once
// Basic types of the host and the engine.

#include <cstdint>

#if defined(_WIN32)
#define ASAAPI_API __declspec(dllimport)
#ifdef ASAAPI_BUILDING
#undef ASAAPI_API
#define ASAAPI_API __declspec(dllexport)
#endif
#else
#define ASAAPI_API __attribute__((visibility("default")))
#endif

using int32 = std::int32_t;
using uint32 = std::uint32_t;
using uint64 = std::uint64_t;

// The engine's characters are 16-bit on every platform.
#if defined(_WIN32)
using TCHAR = wchar_t;
#define ASA_TEXT(x) L##x
#else
using TCHAR = char16_t;
#define ASA_TEXT(x) u##x
#endif
static_assert(sizeof(TCHAR) == 2, "engine characters are 16-bit");
