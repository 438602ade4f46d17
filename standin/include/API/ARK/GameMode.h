#pragma once
// The game mode.

#include "API/ARK/Actor.h"

struct AShooterGameMode : AActor {};
