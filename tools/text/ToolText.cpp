#include "text/ToolText.h"

namespace Lumora {
namespace {

std::string Hex(unsigned value) {
    constexpr char Digits[] = "0123456789ABCDEF";
    std::string shown;
    for (int shift = 12; shift >= 0; shift -= 4) {
        shown += Digits[(value >> shift) & 0xF];
    }
    return shown;
}

// A character as a JSON escape: beyond the first plane, as its UTF-16 surrogate pair.
std::string JsonCodePoint(char32_t value) {
    if (value <= 0xFFFF) {
        return "\\u" + Hex(value);
    }
    const char32_t offset = value - 0x10000;
    return "\\u" + Hex(0xD800 + (offset >> 10)) + "\\u" + Hex(0xDC00 + (offset & 0x3FF));
}

}  // namespace

std::string JsonWithEscapedControls(std::string_view json) {
    std::string out;
    out.reserve(json.size());
    for (std::size_t i = 0; i < json.size();) {
        const std::size_t length = Utf8SequenceAt(json, i);
        const char32_t c = length > 0 ? DecodeUtf8(json.substr(i, length)) : 0;
        if (c >= 0x7F && IsEscapedCharacter(c)) {
            out += JsonCodePoint(c);
            i += length;
        } else {
            out += json[i++];  // a byte of a character kept as it is
        }
    }
    return out;
}

std::u32string CodePoints(std::string_view text) {
    std::u32string points;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, i);
        points += length == 0 ? U'\uFFFD' : DecodeUtf8(text.substr(i, length));
        i += length == 0 ? 1 : length;
    }
    return points;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path PathFromText(std::string_view text) { return std::u8string(text.begin(), text.end()); }

}  // namespace Lumora
