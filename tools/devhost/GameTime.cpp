#include "devhost/GameTime.h"

#include <algorithm>
#include <cstdint>

namespace Devhost {

// long line recurses once a character and overflows the stack.
bool Digits(std::string_view text, std::size_t maxDigits) {
    return !text.empty() && text.size() <= maxDigits &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Seconds as written in a script: digits, perhaps a '.' and more digits; nothing else. Game time
// keeps whole milliseconds, so the value is rounded to one.
std::optional<double> Seconds(const std::string& text) {
    const auto point = text.find('.');
    if (!Digits(std::string_view(text).substr(0, point), 9) ||
        (point != std::string::npos && !Digits(std::string_view(text).substr(point + 1)))) {
        return std::nullopt;
    }
    std::int64_t milliseconds = std::stoll(text.substr(0, point)) * 1000;
    if (point != std::string::npos) {
        const std::string fraction = text.substr(point + 1) + "000";
        milliseconds += std::stoll(fraction.substr(0, 3)) + (fraction[3] >= '5' ? 1 : 0);
    }
    return static_cast<double>(milliseconds) / 1000;
}

}  // namespace Devhost
