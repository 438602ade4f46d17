#include "host/EngineString.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "host/Engine.h"

namespace Lumora {
namespace {

// Room for one conversion: 128 code units on the stack, an engine block beyond that.
template <typename Unit>
struct ConversionScratch {
    static constexpr std::size_t StackUnits = 128;
    Unit stack[StackUnits];
    Unit* heap = nullptr;

    Unit* Reserve(std::size_t units) {
        if (units <= StackUnits) {
            return stack;
        }
        heap = static_cast<Unit*>(AllocateEngineBlock(units * sizeof(Unit)));
        return heap;
    }
    ConversionScratch() = default;
    ConversionScratch(const ConversionScratch&) = delete;
    ConversionScratch& operator=(const ConversionScratch&) = delete;
    ~ConversionScratch() { FreeEngineBlock(heap); }
};

constexpr std::size_t MaxUnits = std::numeric_limits<int32>::max() / 4;

int32 CheckedLength(std::size_t length) {
    if (length > MaxUnits) {
        throw std::length_error("text is too long for an engine string");
    }
    return static_cast<int32>(length);
}

// The host's converter refuses a whole text for one bad unit. This keeps every sequence the
// converter accepts and puts U+FFFD in place of each unit it does not. Target is the unit type of
// the other side, whose marker the converter takes.
template <typename Target, typename Unit>
std::basic_string<Unit> Repair(const Unit* text, std::size_t length, std::basic_string_view<Unit> replacement) {
    constexpr std::size_t LongestSequence = sizeof(Unit) == 1 ? 4 : 2;
    std::basic_string<Unit> repaired;
    for (std::size_t i = 0; i < length;) {
        std::size_t used = 0;
        for (std::size_t k = 1; k <= LongestSequence && i + k <= length; ++k) {
            if (UE::Core::Private::GetConvertedLength(static_cast<const Target*>(nullptr), text + i,
                                                      static_cast<int32>(k)) >= 0) {
                used = k;
                break;
            }
        }
        if (used == 0) {
            repaired += replacement;
            ++i;
        } else {
            repaired.append(text + i, used);
            i += used;
        }
    }
    return repaired;
}

std::string RepairUtf8(const char* text, std::size_t length) {
    return Repair<TCHAR>(text, length, std::string_view("\xEF\xBF\xBD"));
}

std::basic_string<TCHAR> RepairUtf16(const TCHAR* text, std::size_t length) {
    static constexpr TCHAR Replacement[] = {static_cast<TCHAR>(0xFFFD), 0};
    return Repair<char>(text, length, std::basic_string_view<TCHAR>(Replacement));
}

}  // namespace

void* AllocateEngineBlock(std::uint64_t bytes) {
    auto malloc = LookupEngineFunction<EngineFn::FMemoryMalloc>(MallocKey);
    if (malloc == nullptr) {
        throw std::bad_alloc();
    }
    void* block = malloc(bytes, 0);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void FreeEngineBlock(void* block) noexcept {
    if (block == nullptr) {
        return;
    }
    // Without the engine's free function the block can only be left behind.
    if (auto free = LookupEngineFunction<EngineFn::FMemoryFree>(FreeKey)) {
        free(block);
    }
}

FString Utf8ToFString(std::string text) {
    std::size_t length = text.find('\0');
    if (length == std::string::npos) {
        length = text.size();
    }
    int32 units =
        UE::Core::Private::GetConvertedLength(static_cast<const TCHAR*>(nullptr), text.data(), CheckedLength(length));
    if (units < 0) {
        text = RepairUtf8(text.data(), length);
        length = text.size();
        units = UE::Core::Private::GetConvertedLength(static_cast<const TCHAR*>(nullptr), text.data(),
                                                      CheckedLength(length));
        if (units < 0) {
            return FString();
        }
    }
    ConversionScratch<TCHAR> scratch;
    TCHAR* target = scratch.Reserve(static_cast<std::size_t>(units) + 1);
    if (UE::Core::Private::Convert(target, units + 1, text.data(), CheckedLength(length) + 1) == nullptr) {
        return FString();
    }
    return FString(static_cast<const TCHAR*>(target));
}

std::string FStringToUtf8(const FString& text) {
    const TCHAR* source = text.ArrayNum != 0 && text.Data != nullptr ? text.Data : ASA_TEXT("");
    std::size_t bound = text.ArrayNum > 0 && text.Data != nullptr ? static_cast<std::size_t>(text.ArrayNum) : 1;
    std::size_t length = 0;
    while (length < bound && source[length] != 0) {
        ++length;
    }
    std::basic_string<TCHAR> owned;
    if (length == bound) {
        // No terminating zero within the count: convert a terminated copy instead of reading past it.
        owned.assign(source, length);
        source = owned.c_str();
    }
    int32 bytes =
        UE::Core::Private::GetConvertedLength(static_cast<const char*>(nullptr), source, CheckedLength(length));
    if (bytes < 0) {
        owned = RepairUtf16(source, length);
        source = owned.c_str();
        length = owned.size();
        bytes = UE::Core::Private::GetConvertedLength(static_cast<const char*>(nullptr), source, CheckedLength(length));
        if (bytes < 0) {
            return std::string();
        }
    }
    ConversionScratch<char> scratch;
    char* target = scratch.Reserve(static_cast<std::size_t>(bytes) + 1);
    if (UE::Core::Private::Convert(target, bytes + 1, source, CheckedLength(length) + 1) == nullptr) {
        return std::string();
    }
    return std::string(target);
}

void ReleaseFString(const FString& text) noexcept { FreeEngineBlock(text.Data); }

void ReleaseFStringArray(const TArray<FString>& array) noexcept {
    for (int32 i = 0; i < array.ArrayNum; ++i) {
        ReleaseFString(array.Data[i]);
    }
    FreeEngineBlock(array.Data);
}

}  // namespace Lumora
