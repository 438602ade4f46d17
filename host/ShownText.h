#pragma once
// Text that came from outside (a player's character name, config.json's bytes) as it may be shown
// in the host's log or on an admin's terminal. Neither a log nor a terminal can be trusted with it
// raw: a line break forges a log line, an escape sequence drives the terminal, a bidirectional
// control reorders what is read, and a megabyte-long name makes a megabyte-long line.

#include <cstddef>
#include <string>
#include <string_view>

namespace Lumora {

// How much of one outside text a line shows: a character name, a quoted value from the file.
inline constexpr std::size_t ShownPieceBytes = 64;

// Every control character (C0, DEL, C1), every format character (invisible ones such as \u200B and
// the bidirectional controls) and both Unicode line separators shown as a visible escape (\n, \t,
// \r, \x1B, \u0085, \u202E, \U000E0041), and every byte that begins no valid UTF-8 sequence as
// \xFF; all else as it is. What comes out is valid UTF-8 and escaping it again changes nothing. It
// is cut before the shown text would pass bound bytes (never inside a character or an escape), with
// a mark that says how many bytes the text had. (The tools' EscapeText cuts nothing.)
std::string EscapeAndCut(std::string_view text, std::size_t bound = ShownPieceBytes);

// The same for text shown between two quote characters: a backslash and the quote itself come out
// as \\ and \' (or \"), so that no text can close the quotes and write on after them, and a text
// that spells an escape (the four characters \x1B) reads apart from one that was escaped.
std::string EscapeQuoted(std::string_view text, char quote, std::size_t bound = ShownPieceBytes);

// True for a character that is escaped: a control, a format character, a line separator.
bool IsEscapedCharacter(char32_t c);

// The length of the valid UTF-8 sequence at text[i], or 0 when none begins there.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i);
// The character of a valid sequence.
char32_t DecodeUtf8(std::string_view sequence);

// A load failure's text as admins read it, in the log and from the checker: the JSON library's
// quoted input cut to one shown piece, the whole cut to one line, everything escaped.
std::string ConfigFaultText(const std::string& what);

}  // namespace Lumora
