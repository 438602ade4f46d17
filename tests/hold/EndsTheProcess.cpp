// A plugin library that ends the process the moment anything in it runs: its static constructor,
// its Plugin_Init. A host that only holds it (lumora-devhost --hold) lives on.
#include <cstdlib>

#if defined(_WIN32)
#define LUMORA_EXPORT extern "C" __declspec(dllexport)
#else
#define LUMORA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct EndsOnLoad {
    EndsOnLoad() { std::_Exit(71); }
} endsOnLoad;

}  // namespace

LUMORA_EXPORT void Plugin_Init() { std::_Exit(72); }
LUMORA_EXPORT void Plugin_Unload() { std::_Exit(73); }
