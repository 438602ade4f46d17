#pragma once
// The engine's allocator, reached by key at every call.

#include "API/Fields.h"

#ifndef DEFAULT_ALIGNMENT
#define DEFAULT_ALIGNMENT 0
#endif

struct FMemory {
    static void* Malloc(SIZE_T Count, uint32 Alignment = DEFAULT_ALIGNMENT) {
        return NativeCall<void*, uint64, uint32>(nullptr, "FMemory.Malloc(unsigned__int64,unsignedint)",
                                                 static_cast<uint64>(Count), Alignment);
    }
    // A null block is a fresh allocation; a size of zero frees the block and gives null.
    static void* Realloc(void* Original, SIZE_T Size, uint32 Alignment = DEFAULT_ALIGNMENT) {
        if (!Original) {
            return Malloc(Size);
        }
        return NativeCall<void*, void*, uint64, uint32>(nullptr, "FMemory.Realloc(void*,unsigned__int64,unsignedint)",
                                                        Original, static_cast<uint64>(Size), Alignment);
    }
    static void Free(void* Original) { NativeCall<void, void*>(nullptr, "FMemory.Free(void*)", Original); }
};
