#pragma once
// The engine's comparison ignoring ASCII letter case.

#include "API/Fields.h"

struct FGenericPlatformStricmp {
    // Declared for narrow strings, as the host's SDK declares it, but never defined by the host: a
    // plugin that calls it does not load (the import check shows it).
    ARK_API static int32 Stricmp(const ANSICHAR* String1, const ANSICHAR* String2);
    static int32 Stricmp(const WIDECHAR* String1, const WIDECHAR* String2) {
        return NativeCall<int32, const WIDECHAR*, const WIDECHAR*>(
            nullptr, "FGenericPlatformStricmp.Stricmp(wchar_t*,wchar_t*)", String1, String2);
    }
};
