#include "command/FpsArgument.h"

#include "host/Engine.h"
#include "host/EngineString.h"

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

// The same answer as the engine's comparison, for when the engine's cannot be found.
bool EqualIgnoringAsciiCase(const TCHAR* a, const TCHAR* b) {
    auto fold = [](TCHAR c) { return c >= 'A' && c <= 'Z' ? static_cast<TCHAR>(c - 'A' + 'a') : c; };
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (fold(*a) != fold(*b)) {
            return false;
        }
    }
    return *a == *b;
}

bool SameWord(const TCHAR* word, const TCHAR* keyword) {
    if (auto stricmp = LookupEngineFunction<EngineFn::Stricmp>(StricmpKey)) {
        return stricmp(word, keyword) == 0;
    }
    return EqualIgnoringAsciiCase(word, keyword);
}

}  // namespace

FpsAction ParseFpsArgument(const FString& line) {
    ScopedFStringArray words;
    line.ParseIntoArray(words.value, ASA_TEXT(" "), true);
    const int32 count = words.value.Num();
    if (count < 2) {
        return FpsAction::Toggle;
    }
    if (count > 2) {
        return FpsAction::Usage;
    }
    const TCHAR* word = *words.value[1];
    for (const Keyword& keyword : Keywords) {
        ScopedFString text(FString(keyword.text));
        if (SameWord(word, *text.value)) {
            return keyword.action;
        }
    }
    return FpsAction::Usage;
}

}  // namespace Lumora
