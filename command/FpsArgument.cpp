#include "command/FpsArgument.h"

#include <algorithm>

#include "config/PluginConfig.h"

namespace Lumora {
namespace {

struct Keyword {
    const char* text;
    FpsAction action;
};

// In the order they are tried; the four levels by their preset names.
constexpr Keyword Keywords[] = {
    {"on", FpsAction::On},
    {"off", FpsAction::Off},
    {PresetLevelNames[0].data(), FpsAction::Low},
    {PresetLevelNames[1].data(), FpsAction::Medium},
    {PresetLevelNames[2].data(), FpsAction::High},
    {PresetLevelNames[3].data(), FpsAction::Epic},
    {"status", FpsAction::Status},
    {"help", FpsAction::Help},
};

}  // namespace

FpsAction ParseFpsArgument(const FString& line) {
    TArray<FString> words;
    line.ParseIntoArray(words, TEXT(" "), true);
    const int32 count = words.Num();
    if (count < 2) {
        return FpsAction::Toggle;
    }
    if (count > 2) {
        return FpsAction::Usage;
    }
    // An empty word reads as the empty text, never as a null pointer.
    const TCHAR* word = *words[1];
    for (const Keyword& keyword : Keywords) {
        const FString text(keyword.text);
        if (FGenericPlatformStricmp::Stricmp(word, *text) == 0) {
            return keyword.action;
        }
    }
    return FpsAction::Usage;
}

std::optional<std::string_view> PresetLevelOf(FpsAction action) {
    for (const Keyword& keyword : Keywords) {
        if (keyword.action == action &&
            std::find(PresetLevelNames.begin(), PresetLevelNames.end(), keyword.text) != PresetLevelNames.end()) {
            return keyword.text;
        }
    }
    return std::nullopt;
}

}  // namespace Lumora
