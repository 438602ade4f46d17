#pragma once
// Everything a plugin reaches of the host and the engine.

#include "API/ARK/Actor.h"
#include "API/ARK/GameMode.h"
#include "API/ARK/UE.h"
#include "API/Base.h"
#include "API/Enums.h"
#include "API/UE/GenericPlatform/GenericPlatformStricmp.h"
#include "IApiUtils.h"
#include "ICommands.h"
#include "IHooks.h"
#include "Tools.h"
