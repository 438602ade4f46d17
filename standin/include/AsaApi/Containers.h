#pragma once
// The engine's string and dynamic array. Both hold a data pointer on the engine heap, a signed
// 32-bit count and a signed 32-bit capacity. Neither frees its buffer on destruction: whoever
// owns the buffer hands it back to the engine allocator explicitly.

#include "AsaApi/Base.h"

template <typename T>
struct TArray {
    T* Data = nullptr;
    int32 ArrayNum = 0;
    int32 ArrayMax = 0;

    int32 Num() const { return ArrayNum; }
    T* GetData() const { return Data; }
    T& operator[](int32 index) const { return Data[index]; }
    T* begin() const { return Data; }
    T* end() const { return Data + ArrayNum; }
};

class ASAAPI_API FString {
public:
    TCHAR* Data = nullptr;
    int32 ArrayNum = 0;  // characters including the terminating zero; 0 for the empty string
    int32 ArrayMax = 0;

    FString() = default;
    // Each narrow byte becomes one character.
    FString(const char* narrow);
    FString(const TCHAR* wide);
    // A copy takes a new engine block of count x 2 bytes; an empty source allocates nothing.
    FString(const FString& other);
    // Hands over pointer, count and capacity and zeroes the source. Not noexcept, as in the engine.
    FString(FString&& other);
    FString& operator=(const FString&) = delete;
    FString& operator=(FString&&) = delete;
    ~FString() = default;

    // The characters, or the empty wide string when the count is 0.
    const TCHAR* operator*() const { return ArrayNum != 0 && Data != nullptr ? Data : ASA_TEXT(""); }
    int32 Len() const { return ArrayNum > 0 ? ArrayNum - 1 : 0; }
    bool IsEmpty() const { return Len() == 0; }

    // Splits at every occurrence of delimiter; the pieces and the array's own buffer are engine blocks.
    int32 ParseIntoArray(TArray<FString>& out, const TCHAR* delimiter, bool cullEmpty) const;
};

static_assert(sizeof(FString) == 16, "FString has the engine's layout");
static_assert(sizeof(TArray<FString>) == 16, "TArray has the engine's layout");

struct FName {
    int32 ComparisonIndex = 0;
    int32 Number = 0;
};
static_assert(sizeof(FName) == 8, "FName is 8 bytes");

enum EFindName : int32 { FNAME_Find = 0, FNAME_Add = 1 };

namespace EIncludeSuperFlag {
enum Type : int32 { ExcludeSuper = 0, IncludeSuper = 1 };
}

namespace UE::Core::Private {
// Number of code units the converted text needs, without a terminating zero; -1 for an invalid sequence.
ASAAPI_API int32 GetConvertedLength(const TCHAR* targetMarker, const char* source, int32 sourceLength);
ASAAPI_API int32 GetConvertedLength(const char* targetMarker, const TCHAR* source, int32 sourceLength);
// Converts sourceLength units into at most destLength units; returns the end of the written text,
// or nullptr when the source is invalid or the target too small.
ASAAPI_API TCHAR* Convert(TCHAR* dest, int32 destLength, const char* source, int32 sourceLength);
ASAAPI_API char* Convert(char* dest, int32 destLength, const TCHAR* source, int32 sourceLength);
}  // namespace UE::Core::Private
