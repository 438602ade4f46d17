#include "host/Engine.h"

namespace Lumora {

UClass* ReadObjectClass(const void* object) {
    void* field = GetAddress(object, ClassPrivateKey);
    return field == nullptr ? nullptr : *static_cast<UClass**>(field);
}

}  // namespace Lumora
