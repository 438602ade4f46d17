#pragma once
// Engine objects as a plugin sees them: opaque, their fields and functions reached by key.

#include "API/Enums.h"
#include "API/Fields.h"
#include "API/UE/UObject/NameTypes.h"

struct UObjectBase {
    UClass*& ClassPrivateField() { return *GetNativePointerField<UClass**>(this, "UObjectBase.ClassPrivate"); }
};

struct UObjectBaseUtility : UObjectBase {};
struct UObject : UObjectBaseUtility {};
struct UField : UObject {};
struct UStruct : UField {};

struct UClass : UStruct {
    UFunction* FindFunctionByName(FName InName, EIncludeSuperFlag::Type IncludeSuper) {
        return NativeCall<UFunction*, FName, EIncludeSuperFlag::Type>(
            this, "UClass.FindFunctionByName(FName,EIncludeSuperFlag::Type)", InName, IncludeSuper);
    }
};

struct UFunction : UStruct {};
