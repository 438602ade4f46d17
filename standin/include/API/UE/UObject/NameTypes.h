#pragma once
// The engine's name: 8 opaque bytes, made by the engine from text.

#include "API/Fields.h"

enum EFindName {
    FNAME_Find,  // a name that does not exist yet gives the empty name
    FNAME_Add,   // a name that does not exist yet is added
    FNAME_Replace_Not_Safe_For_Threading,
};

class FName {
public:
    FName(const char* Name, EFindName FindType = FNAME_Add) {
        NativeCall<void, const char*, EFindName>(this, "FName.FName(char*,EFindName)", Name, FindType);
    }

private:
    [[maybe_unused]] uint32 ComparisonIndex = 0;
    [[maybe_unused]] uint32 Number = 0;
};
static_assert(sizeof(FName) == 8, "FName is 8 bytes");
