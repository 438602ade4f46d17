#pragma once
// Classifies the chat line of the fps command.

#include <optional>
#include <string_view>

#include <API/ARK/Ark.h>

namespace Lumora {

// Low to Epic: one action for each name of PresetLevelNames, in its order.
enum class FpsAction { Toggle, On, Off, Low, Medium, High, Epic, Status, Help, Usage };
inline constexpr FpsAction FirstLevel = FpsAction::Low;
inline constexpr FpsAction LastLevel = FpsAction::Epic;

// The line split at spaces (U+0020 only), empty pieces dropped: as the host splits it to find
// the chat command.
TArray<FString> SplitChatLine(const FString& line);

FpsAction ParseFpsArgument(const FString& line);
// The same, for a line already split: the first word (the alias) is not looked at.
FpsAction ClassifyFpsWords(const TArray<FString>& words);

// The preset level that Low, Medium, High or Epic names ("low"), by the levels' order in both
// lists; nothing for any other action.
std::optional<std::string_view> PresetLevelOf(FpsAction action);

}  // namespace Lumora
