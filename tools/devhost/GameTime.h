#pragma once
// Game time as a session's script writes it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace Devhost {

// True when text is 1 to maxDigits decimal digits and nothing else.
bool Digits(std::string_view text, std::size_t maxDigits = std::string_view::npos);
// Seconds in digits, perhaps with a '.' and more digits, rounded to whole milliseconds.
std::optional<double> Seconds(const std::string& text);

}  // namespace Devhost
