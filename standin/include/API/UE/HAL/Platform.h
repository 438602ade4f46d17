#pragma once
// The engine's basic types. Engine characters are 16-bit everywhere: on Windows they are wchar_t,
// elsewhere (where wchar_t is 32-bit) char16_t, as the engine itself builds for such platforms.

#include <cstddef>
#include <cstdint>

using uint8 = std::uint8_t;
using uint16 = std::uint16_t;
using uint32 = std::uint32_t;
using uint64 = std::uint64_t;
using int8 = std::int8_t;
using int16 = std::int16_t;
using int32 = std::int32_t;
using int64 = std::int64_t;
using SIZE_T = std::size_t;

using ANSICHAR = char;
#if defined(_WIN32)
using WIDECHAR = wchar_t;
#else
using WIDECHAR = char16_t;
#endif
using TCHAR = WIDECHAR;
// The engine's 8-bit character is an enum inside its generic platform types, and that is the name the
// host's exports carry (FGenericPlatformTypes::UTF8CHAR).
struct FGenericPlatformTypes {
    enum UTF8CHAR : unsigned char {};
};
using UTF8CHAR = FGenericPlatformTypes::UTF8CHAR;
static_assert(sizeof(TCHAR) == 2, "engine characters are 16-bit");

#if !defined(TEXT)
#if defined(_WIN32)
#define TEXT(x) L##x
#else
#define TEXT(x) u##x
#endif
#endif

#if !defined(FORCEINLINE)
#if defined(_MSC_VER)
#define FORCEINLINE __forceinline
#else
#define FORCEINLINE inline
#endif
#endif
