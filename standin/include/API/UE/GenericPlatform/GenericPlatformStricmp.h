#pragma once
// The engine's comparison ignoring ASCII letter case.

#include "API/Fields.h"

struct FGenericPlatformStricmp {
    static int32 Stricmp(const WIDECHAR* String1, const WIDECHAR* String2) {
        return NativeCall<int32, const WIDECHAR*, const WIDECHAR*>(
            nullptr, "FGenericPlatformStricmp.Stricmp(wchar_t*,wchar_t*)", String1, String2);
    }
};
