// A plugin that calls a function the host's SDK declares and the host never defines.
#include "API/ARK/Ark.h"

extern "C" __declspec(dllexport) void Plugin_Init() { FGenericPlatformStricmp::Stricmp("Lumora", "lumora"); }
