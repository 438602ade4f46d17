#include "command/FpsArgument.h"

#include <array>
#include <cstddef>
#include <string>

#include "config/PluginConfig.h"

namespace Lumora {
namespace {

struct Keyword {
    const char* text;
    FpsAction action;
};

static_assert(static_cast<std::size_t>(LastLevel) - static_cast<std::size_t>(FirstLevel) + 1 == PresetLevelNames.size(),
              "FpsAction needs one action from FirstLevel to LastLevel for each name of PresetLevelNames, in order");

constexpr FpsAction LevelAction(std::size_t level) {
    return static_cast<FpsAction>(static_cast<std::size_t>(FirstLevel) + level);
}

// In the order they are tried; the levels by their preset names.
constexpr auto Keywords = [] {
    std::array<Keyword, PresetLevelNames.size() + 4> keywords{};
    std::size_t next = 0;
    keywords[next++] = {"on", FpsAction::On};
    keywords[next++] = {"off", FpsAction::Off};
    for (std::size_t level = 0; level < PresetLevelNames.size(); ++level) {
        keywords[next++] = {PresetLevelNames[level].data(), LevelAction(level)};
    }
    keywords[next++] = {"status", FpsAction::Status};
    keywords[next++] = {"help", FpsAction::Help};
    return keywords;
}();

}  // namespace

TArray<FString> SplitChatLine(const FString& line) {
    TArray<FString> words;
    line.ParseIntoArray(words, TEXT(" "), true);
    return words;
}

// At most three words decide the action: the alias, its argument, and whether anything follows.
// Only the line up to the first character of a third word is split, so a long line costs no more
// than a short one, and the result is what the whole line's split gives.
FpsAction ParseFpsArgument(const FString& line) {
    const TCHAR* text = *line;
    std::size_t end = 0;
    // Past the spaces (or past a word) that begin at end.
    const auto skip = [&](bool spaces) {
        while (text[end] != TEXT('\0') && (text[end] == TEXT(' ')) == spaces) {
            ++end;
        }
    };
    for (int word = 0; word < 2; ++word) {
        skip(true);
        skip(false);
    }
    skip(true);
    if (text[end] == TEXT('\0')) {
        return ClassifyFpsWords(SplitChatLine(line));
    }
    // One character of a third word says that more follows.
    return ClassifyFpsWords(SplitChatLine(FString(std::basic_string<TCHAR>(text, end + 1).c_str())));
}

FpsAction ClassifyFpsWords(const TArray<FString>& words) {
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
    if (action < FirstLevel || action > LastLevel) {
        return std::nullopt;
    }
    return PresetLevelNames[static_cast<std::size_t>(action) - static_cast<std::size_t>(FirstLevel)];
}

}  // namespace Lumora
