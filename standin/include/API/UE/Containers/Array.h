#pragma once
// The engine's dynamic array: a pointer to its elements on the engine heap, a signed 32-bit count
// and a signed 32-bit capacity. It owns its buffer: copies take a new one, destruction frees it.

#include <new>
#include <type_traits>
#include <utility>

#include "API/UE/HAL/UnrealMemory.h"

template <int IndexSize>
class TSizedDefaultAllocator {};
using FDefaultAllocator = TSizedDefaultAllocator<32>;

template <typename InElementType, typename InAllocatorType = FDefaultAllocator>
class TArray {
public:
    using ElementType = InElementType;
    using SizeType = int32;

    TArray() = default;
    TArray(const TArray& Other) { CopyFrom(Other); }
    TArray(TArray&& Other)
        : Data(std::exchange(Other.Data, nullptr)),
          ArrayNum(std::exchange(Other.ArrayNum, 0)),
          ArrayMax(std::exchange(Other.ArrayMax, 0)) {}
    ~TArray() {
        DestructItems();
        if (Data) {
            FMemory::Free(Data);
        }
    }
    TArray& operator=(const TArray& Other) {
        if (this != &Other) {
            Empty();
            CopyFrom(Other);
        }
        return *this;
    }
    TArray& operator=(TArray&& Other) {
        if (this != &Other) {
            TArray Old(std::move(*this));
            Data = std::exchange(Other.Data, nullptr);
            ArrayNum = std::exchange(Other.ArrayNum, 0);
            ArrayMax = std::exchange(Other.ArrayMax, 0);
        }
        return *this;
    }

    FORCEINLINE SizeType Num() const { return ArrayNum; }
    FORCEINLINE SizeType Max() const { return ArrayMax; }
    FORCEINLINE bool IsEmpty() const { return ArrayNum == 0; }
    FORCEINLINE InElementType* GetData() { return Data; }
    FORCEINLINE const InElementType* GetData() const { return Data; }
    FORCEINLINE InElementType& operator[](SizeType Index) { return Data[Index]; }
    FORCEINLINE const InElementType& operator[](SizeType Index) const { return Data[Index]; }
    FORCEINLINE InElementType* begin() { return Data; }
    FORCEINLINE InElementType* end() { return Data + ArrayNum; }
    FORCEINLINE const InElementType* begin() const { return Data; }
    FORCEINLINE const InElementType* end() const { return Data + ArrayNum; }

    // Destroys every element and gives the buffer back.
    void Empty() {
        DestructItems();
        ArrayNum = 0;
        if (Data) {
            FMemory::Free(Data);
            Data = nullptr;
        }
        ArrayMax = 0;
    }

private:
    void CopyFrom(const TArray& Other) {
        if (Other.ArrayNum == 0) {
            return;
        }
        ResizeTo(Other.ArrayNum);
        for (const InElementType& Element : Other) {
            new (Data + ArrayNum) InElementType(Element);
            ++ArrayNum;
        }
    }
    // Elements are relocated bytewise, as the engine relocates them.
    void ResizeTo(SizeType NewMax) {
        Data = static_cast<InElementType*>(
            FMemory::Realloc(Data, static_cast<SIZE_T>(NewMax) * sizeof(InElementType), DEFAULT_ALIGNMENT));
        ArrayMax = NewMax;
    }
    void DestructItems() {
        if constexpr (!std::is_trivially_destructible_v<InElementType>) {
            for (SizeType Index = 0; Index < ArrayNum; ++Index) {
                Data[Index].~InElementType();
            }
        }
    }

    InElementType* Data = nullptr;
    SizeType ArrayNum = 0;
    SizeType ArrayMax = 0;
};
