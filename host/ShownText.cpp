#include "host/ShownText.h"

namespace Lumora {

std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

char32_t DecodeUtf8(std::string_view sequence) {
    const auto byte = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(sequence[k])); };
    switch (sequence.size()) {
        case 1:
            return byte(0);
        case 2:
            return ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
        case 3:
            return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
        default:
            return ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
    }
}

namespace {

constexpr char Digits[] = "0123456789ABCDEF";

std::string HexByte(unsigned char byte) { return std::string{'\\', 'x', Digits[byte >> 4], Digits[byte & 0xF]}; }

std::string Hex(unsigned value, int digits) {
    std::string shown;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        shown += Digits[(value >> shift) & 0xF];
    }
    return shown;
}

// A character as a visible escape: \uXXXX, or \UXXXXXXXX beyond the first plane.
std::string CodePoint(unsigned value) { return value > 0xFFFF ? "\\U" + Hex(value, 8) : "\\u" + Hex(value, 4); }

// Unicode's format characters (general category Cf, Unicode 15): invisible, so "ad\u200Bmin" would
// read as "admin". The bidirectional controls are among them.
bool Format(unsigned c) {
    static constexpr unsigned Ranges[][2] = {
        {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
        {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x202A, 0x202E},
        {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
        {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
        {0xE0020, 0xE007F},
    };
    for (const auto& range : Ranges) {
        if (c >= range[0] && c <= range[1]) {
            return true;
        }
    }
    return false;
}

// Controls, format characters (the bidirectional controls among them) and the two line separators.
bool Unsafe(unsigned c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F) || Format(c) || c == 0x2028 || c == 0x2029; }

// The character (or the bad byte) at text[i] as it is shown, and how many bytes it took.
// Within quotes (quote is not 0) the quote and the backslash are escaped too.
std::string_view::size_type ShownAt(std::string_view text, std::size_t i, std::string& piece, char quote) {
    const std::size_t length = Utf8SequenceAt(text, i);
    if (length == 0) {
        piece = HexByte(static_cast<unsigned char>(text[i]));
        return 1;
    }
    const unsigned c = DecodeUtf8(text.substr(i, length));
    if (quote != 0 && (c == static_cast<unsigned char>(quote) || c == '\\')) {
        piece = {'\\', static_cast<char>(c)};
    } else if (!Unsafe(c)) {
        piece.assign(text.substr(i, length));
    } else if (c == '\n') {
        piece = "\\n";
    } else if (c == '\t') {
        piece = "\\t";
    } else if (c == '\r') {
        piece = "\\r";
    } else if (c <= 0x7F) {
        piece = HexByte(static_cast<unsigned char>(c));
    } else {
        piece = CodePoint(c);
    }
    return length;
}

std::string Shown(std::string_view text, std::size_t bound, char quote) {
    std::string shown;
    std::string piece;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = ShownAt(text, i, piece, quote);
        if (shown.size() + piece.size() > bound) {
            return shown + "... (cut: " + std::to_string(text.size()) + " bytes in all)";
        }
        shown += piece;
        i += length;
    }
    return shown;
}

}  // namespace

std::string EscapeAndCut(std::string_view text, std::size_t bound) { return Shown(text, bound, 0); }

std::string EscapeQuoted(std::string_view text, char quote, std::size_t bound) { return Shown(text, bound, quote); }

bool IsEscapedCharacter(char32_t c) { return Unsafe(static_cast<unsigned>(c)); }

std::string ConfigFaultText(const std::string& what) {
    // The JSON library quotes what it last read: "...; last read: '<token>'", perhaps followed by
    // "; expected <what it expected>", or a number too large for a double: "number overflow parsing
    // '<token>'". A token can be as long as the file and hold any text, "'; expected " too, so its
    // end is found from the end of the message: the last quote, or the quote before an expected
    // clause that names one of the library's token kinds.
    static constexpr std::string_view Quotes[] = {"last read: '", "overflow parsing '"};
    static constexpr std::string_view Expected[] = {"<uninitialized>",
                                                    "true literal",
                                                    "false literal",
                                                    "null literal",
                                                    "string literal",
                                                    "number literal",
                                                    "'['",
                                                    "'{'",
                                                    "']'",
                                                    "'}'",
                                                    "':'",
                                                    "','",
                                                    "<parse error>",
                                                    "end of input",
                                                    "'[', '{', or a literal"};
    static constexpr std::size_t KeptText = 1024;
    std::string text = what;
    for (std::string_view quote : Quotes) {
        const auto start = text.find(quote);
        if (start == std::string::npos) {
            continue;
        }
        const std::size_t from = start + quote.size();
        std::size_t end = std::string::npos;
        for (std::string_view kind : Expected) {
            const std::string clause = "'; expected " + std::string(kind);
            if (text.size() >= from + clause.size() && text.ends_with(clause)) {
                end = text.size() - clause.size();
                break;
            }
        }
        if (end == std::string::npos && text.size() > from && text.ends_with('\'')) {
            end = text.size() - 1;
        }
        if (end != std::string::npos) {
            text = text.substr(0, from) + EscapeQuoted(text.substr(from, end - from), '\'') + text.substr(end);
        }
        break;
    }
    // The whole is escaped as it is cut; the token, escaped already, escapes to itself. Quotes stand
    // on both sides of it, so no sequence runs across its ends.
    return EscapeAndCut(text, KeptText);
}

}  // namespace Lumora
