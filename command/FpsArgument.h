#pragma once
// Classifies the chat line of the fps command.

#include <optional>
#include <string_view>

#include <API/ARK/Ark.h>

namespace Lumora {

enum class FpsAction { Toggle, On, Off, Low, Medium, High, Epic, Status, Help, Usage };

FpsAction ParseFpsArgument(const FString& line);

// The preset level that Low, Medium, High or Epic names ("low"); nothing for any other action.
std::optional<std::string_view> PresetLevelOf(FpsAction action);

}  // namespace Lumora
