#pragma once
// The engine's string: an array of 16-bit characters on the engine heap whose count includes the
// terminating zero (0 for the empty string). It owns its buffer, like the array it holds.

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <fmt/format.h>
#include <fmt/xchar.h>

#include "API/UE/Containers/Array.h"
#include "API/UE/Containers/StringConv.h"

class FString {
public:
    using AllocatorType = FDefaultAllocator;
    using ElementType = TCHAR;

    FString() = default;
    FString(FString&&) = default;
    FString(const FString&) = default;
    FString& operator=(FString&&) = default;
    FString& operator=(const FString&) = default;

    // Each byte becomes one character.
    ARK_API FString(const ANSICHAR* Str);
    ARK_API FString(const WIDECHAR* Str);

    FORCEINLINE explicit FString(const std::string& str) : FString(str.c_str()) {}

    // The text made by fmt from a format of char or TCHAR.
    template <typename T, typename... Args>
    static FString Format(const T* format, Args&&... args) {
        static_assert(std::is_same_v<T, char> || std::is_same_v<T, TCHAR>, "format must be a char or TCHAR");
        // fmt checks a char or wchar_t format at compile time unless told it is known only at run time.
        if constexpr (std::is_same_v<T, char> || std::is_same_v<T, wchar_t>) {
            const std::basic_string<T> formatted =
                fmt::format(fmt::runtime(std::basic_string_view<T>(format)), std::forward<Args>(args)...);
            return FString(formatted.c_str());
        } else {
            const std::basic_string<T> formatted =
                fmt::format(std::basic_string_view<T>(format), std::forward<Args>(args)...);
            return FString(formatted.c_str());
        }
    }

    // The characters, or the empty text when there are none.
    FORCEINLINE const TCHAR* operator*() const { return Data.Num() ? Data.GetData() : TEXT(""); }
    FORCEINLINE bool IsEmpty() const { return Data.Num() <= 1; }

    // Splits at every occurrence of pchDelim; the pieces are new engine strings.
    ARK_API int32 ParseIntoArray(TArray<FString>& OutArray, const TCHAR* pchDelim, bool InCullEmpty = true) const;

private:
    using DataType = TArray<TCHAR, AllocatorType>;
    DataType Data;
};
