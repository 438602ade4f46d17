#include "command/FpsArgument.h"

namespace Lumora {
namespace {

struct Keyword {
    const char* text;
    FpsAction action;
};

constexpr Keyword Keywords[] = {
    {"on", FpsAction::On},     {"off", FpsAction::Off},   {"low", FpsAction::Low},       {"medium", FpsAction::Medium},
    {"high", FpsAction::High}, {"epic", FpsAction::Epic}, {"status", FpsAction::Status}, {"help", FpsAction::Help},
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

}  // namespace Lumora
