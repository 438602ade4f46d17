#pragma once
// Classifies the chat line of the fps command.

#include <API/ARK/Ark.h>

namespace Lumora {

enum class FpsAction { Toggle, On, Off, Low, Medium, High, Epic, Status, Help, Usage };

FpsAction ParseFpsArgument(const FString& line);

}  // namespace Lumora
