// mingw-w64's windows.h defines min and max as macros for C only; the Windows SDK's, which MSVC
// reads, does so for C++ too unless NOMINMAX is defined: so here, so that a std::min( that only
// NOMINMAX saves is found by this parse too. NOMINMAX as the build gives it (BuildDefines.h):
// mingw-w64's libstdc++ defines it itself. No include guard around the macros: that library also
// undefines them after its own inclusion of windows.h, which MSVC's library does not.
#include_next <windows.h>
#if !defined(LUMORA_BUILD_NOMINMAX)
#if !defined(max)
#define max(a, b) (((a) > (b)) ? (a) : (b))
#endif
#if !defined(min)
#define min(a, b) (((a) < (b)) ? (a) : (b))
#endif
#endif
