#pragma once
// Conversions of zero-terminated text between UTF-8 and the engine's characters. The result lives
// in the conversion object: 128 code units inline, an engine heap block beyond that, given back
// when the object goes.

#include "API/UE/GenericPlatform/GenericPlatformString.h"
#include "API/UE/HAL/UnrealMemory.h"

#define DEFAULT_STRING_CONVERSION_SIZE 128u

template <typename From, typename To>
struct TStringConvert {
    using FromType = From;
    using ToType = To;
};

template <typename Converter, int32 DefaultConversionSize = DEFAULT_STRING_CONVERSION_SIZE>
class TStringConversion {
    using FromType = typename Converter::FromType;
    using ToType = typename Converter::ToType;

public:
    TStringConversion(TStringConversion&&) = delete;
    TStringConversion(const TStringConversion&) = delete;
    TStringConversion& operator=(TStringConversion&&) = delete;
    TStringConversion& operator=(const TStringConversion&) = delete;

    explicit TStringConversion(const FromType* Source) {
        if (!Source) {
            return;
        }
        int32 SourceLen = 0;
        while (Source[SourceLen] != 0) {
            ++SourceLen;
        }
        StringLength = UE::Core::Private::GetConvertedLength(static_cast<const ToType*>(nullptr), Source, SourceLen);
        const int32 BufferSize = StringLength + 1;
        Ptr = Inline;
        if (BufferSize > DefaultConversionSize) {
            Heap = static_cast<ToType*>(FMemory::Malloc(static_cast<SIZE_T>(BufferSize) * sizeof(ToType)));
            Ptr = Heap;
        }
        UE::Core::Private::Convert(Ptr, BufferSize, Source, SourceLen + 1);
    }
    ~TStringConversion() {
        if (Heap) {
            FMemory::Free(Heap);
        }
    }

    FORCEINLINE const ToType* Get() const { return Ptr; }
    FORCEINLINE int32 Length() const { return StringLength; }

private:
    ToType Inline[DefaultConversionSize];
    ToType* Heap = nullptr;
    ToType* Ptr = nullptr;
    int32 StringLength = 0;
};

using FTCHARToUTF8 = TStringConversion<TStringConvert<WIDECHAR, UTF8CHAR>>;
using FUTF8ToTCHAR = TStringConversion<TStringConvert<UTF8CHAR, WIDECHAR>>;

#define TCHAR_TO_UTF8(str) (ANSICHAR*)FTCHARToUTF8((const TCHAR*)str).Get()
#define UTF8_TO_TCHAR(str) (TCHAR*)FUTF8ToTCHAR((const UTF8CHAR*)str).Get()
