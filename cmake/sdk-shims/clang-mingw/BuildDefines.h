#pragma once
// Read first in every parse (-include): whether the build defines NOMINMAX, which mingw-w64's
// libstdc++ defines for itself later (bits/os_defines.h) and MSVC's library never does.
#if defined(NOMINMAX)
#define LUMORA_BUILD_NOMINMAX 1
#endif
