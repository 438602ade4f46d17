#pragma once
// The host's converters between UTF-8 and the engine's 16-bit text. The first argument only picks
// the target encoding. Lengths count code units without a terminating zero; each invalid sequence
// in the source becomes '?', so a length is never negative.

#include "API/Base.h"

namespace UE::Core::Private {
ARK_API int32 GetConvertedLength(const UTF8CHAR* Dest, const WIDECHAR* Src, int32 SrcLen);
ARK_API int32 GetConvertedLength(const WIDECHAR* Dest, const UTF8CHAR* Src, int32 SrcLen);
// Writes at most DestLen units; gives the end of what was written, or null when it did not fit.
ARK_API UTF8CHAR* Convert(UTF8CHAR* Dest, int32 DestLen, const WIDECHAR* Src, int32 SrcLen);
ARK_API WIDECHAR* Convert(WIDECHAR* Dest, int32 DestLen, const UTF8CHAR* Src, int32 SrcLen);
}  // namespace UE::Core::Private
