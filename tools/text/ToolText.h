#pragma once
// What the tools show of outside text beyond what the plugin logs: whole texts, JSON documents, and
// the characters of a text. Built into the tools and tests only, not into the plugin's library.

#include <filesystem>
#include <string>
#include <string_view>

#include "host/ShownText.h"

namespace Lumora {

// The whole text escaped as EscapeAndCut escapes it, and never cut.
inline std::string EscapeText(std::string_view text) { return EscapeAndCut(text, std::string::npos); }

// A path as UTF-8 text, and UTF-8 text (an argument, a name in a list) as a path: on Windows the
// narrow forms would go through the ANSI code page, which holds few of an admin's letters.
std::string PathText(const std::filesystem::path& path);
std::filesystem::path PathFromText(std::string_view text);

// A JSON document with every character from DEL up that EscapeText escapes (DEL, C1 controls,
// format characters, line separators) written as a JSON \u escape: the same document, which no
// longer drives a terminal. Controls below 0x20 are the JSON writer's to escape.
std::string JsonWithEscapedControls(std::string_view json);

// The characters of valid UTF-8 text (a byte that begins no valid sequence counts as U+FFFD).
std::u32string CodePoints(std::string_view text);

// True when every byte of text belongs to a valid UTF-8 sequence.
bool IsValidUtf8(std::string_view text);

}  // namespace Lumora
