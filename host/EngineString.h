#pragma once
// Conversions between the plugin's UTF-8 text and the engine's FString, and the release of
// engine-heap strings. Every engine buffer the plugin owns goes back through the engine allocator.

#include <cstdint>
#include <string>

#include "AsaApi/AsaApi.h"

namespace Lumora {

// A new engine heap block; throws std::bad_alloc when the allocator is missing or refuses.
void* AllocateEngineBlock(std::uint64_t bytes);
// Frees an engine heap block; a null block, or a missing allocator, does nothing.
void FreeEngineBlock(void* block) noexcept;

// Text that is not valid UTF-8 (or UTF-16) is converted with U+FFFD in place of each bad unit.
FString Utf8ToFString(std::string text);
std::string FStringToUtf8(const FString& text);

// Frees the buffer if the pointer is non-null; the fields are left as they are.
void ReleaseFString(const FString& text) noexcept;
// Releases every element, then the array's own buffer.
void ReleaseFStringArray(const TArray<FString>& array) noexcept;

// Owns an engine string for one scope, so it is released on every path, exceptions included.
struct ScopedFString {
    FString value;

    ScopedFString() = default;
    explicit ScopedFString(FString&& text) : value(std::move(text)) {}
    ScopedFString(const ScopedFString&) = delete;
    ScopedFString& operator=(const ScopedFString&) = delete;
    ~ScopedFString() { ReleaseFString(value); }
};

// Releases an engine string held inside another record when the scope ends.
struct FStringRelease {
    const FString& text;
    ~FStringRelease() { ReleaseFString(text); }
};

struct ScopedFStringArray {
    TArray<FString> value;

    ScopedFStringArray() = default;
    ScopedFStringArray(const ScopedFStringArray&) = delete;
    ScopedFStringArray& operator=(const ScopedFStringArray&) = delete;
    ~ScopedFStringArray() { ReleaseFStringArray(value); }
};

}  // namespace Lumora
