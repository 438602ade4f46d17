#pragma once
// Actors and controllers.

#include "API/ARK/UE.h"
#include "API/UE/Containers/UnrealString.h"

struct AActor : UObject {
    void ProcessEvent(UFunction* InFunction, void* Parameters) {
        NativeCall<void, UFunction*, void*>(this, "AActor.ProcessEvent(UFunction*,void*)", InFunction, Parameters);
    }
};

struct AController : AActor {};
struct APlayerController : AController {};

struct AShooterPlayerController : APlayerController {
    // The engine writes the name into result, which starts as an empty string.
    FString* GetPlayerCharacterName(FString* result) {
        return NativeCall<FString*, FString*>(this, "AShooterPlayerController.GetPlayerCharacterName()", result);
    }
};
