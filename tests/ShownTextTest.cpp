// Text from players and files as the log and the checker show it: escaped, bounded, valid UTF-8.

#include <gmock/gmock.h>

#include "text/ToolText.h"

using namespace Lumora;

namespace {

TEST(ShownTextTest, EscapesControlsBidiAndBadBytes) {
    struct Case {
        std::string text, shown;
    } cases[] = {
        {"Caf\xC3\xA9 \xE2\x98\x83 \xF0\x9F\x98\x80 \xC2\xA0", "Caf\xC3\xA9 \xE2\x98\x83 \xF0\x9F\x98\x80 \xC2\xA0"},
        {"Caf\xE9", "Caf\\xE9"},
        {"\xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x98",
         "\\xC0\\xAF \\xED\\xA0\\x80 \\xF4\\x90\\x80\\x80 \\xE2\\x98"},
        {std::string("a\x01\n\t\r\x1B]0;x\x07\x7F\0", 13), "a\\x01\\n\\t\\r\\x1B]0;x\\x07\\x7F\\x00"},
        {"\xC2\x80\xC2\x85\xC2\x9B\xC2\x9F", "\\u0080\\u0085\\u009B\\u009F"},
        {"\xE2\x80\xAA\xE2\x80\xAE\xE2\x81\xA6\xE2\x81\xA9\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAF",
         "\\u202A\\u202E\\u2066\\u2069\\u2028\\u2029\xE2\x80\xAF"},
        {"\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\x8D", "\\u061C\\u200E\\u200F\\u200D"},
        // Invisible format characters: "ad\u200Bmin" must not read as "admin".
        {"ad\xE2\x80\x8Bmin \xC2\xAD\xE2\x81\xA0\xEF\xBB\xBF\xD8\x80\xF3\xA0\x81\x81 \xE2\x80\x8A\xF3\xA0\x80\x80",
         "ad\\u200Bmin \\u00AD\\u2060\\uFEFF\\u0600\\U000E0041 \xE2\x80\x8A\xF3\xA0\x80\x80"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeText(c.text), c.shown) << c.text;
        EXPECT_EQ(EscapeText(c.shown), c.shown) << "escaping twice changes nothing";
        EXPECT_TRUE(IsValidUtf8(c.shown));
    }
}

TEST(ShownTextTest, JsonEscapesWhatTheTerminalMustNotGetRaw) {
    EXPECT_EQ(JsonWithEscapedControls("[\"a\x7F\xC2\x85\xE2\x80\xAE\xE2\x80\x8B\xF3\xA0\x81\x81\xC3\xA9\"]"),
              "[\"a\\u007F\\u0085\\u202E\\u200B\\uDB40\\uDC41\xC3\xA9\"]");
}

TEST(ShownTextTest, CutsAtTheBoundWithTheLengthItHad) {
    EXPECT_EQ(EscapeAndCut(std::string(64, 'a')), std::string(64, 'a'));
    EXPECT_EQ(EscapeAndCut(std::string(1 << 20, 'a')), std::string(64, 'a') + "... (cut: 1048576 bytes in all)");
    std::string escapes;
    for (int i = 0; i < 16; ++i) {
        escapes += "\\x1B";
    }
    EXPECT_EQ(EscapeAndCut(std::string(100, '\x1B')), escapes + "... (cut: 100 bytes in all)")
        << "an escape is never cut in two";
    EXPECT_EQ(EscapeAndCut(std::string(63, 'x') + "\xC3\xA9"), std::string(63, 'x') + "... (cut: 65 bytes in all)")
        << "nor is a character";
}

// Between quotes, the quote and the backslash are escaped too, and the pair is never cut in two.
TEST(ShownTextTest, QuotedTextCannotCloseItsQuotes) {
    EXPECT_EQ(EscapeQuoted("say \"hi\" \\x1B 'x'\x1B", '"'), "say \\\"hi\\\" \\\\x1B 'x'\\x1B");
    EXPECT_EQ(EscapeQuoted("it's", '\''), "it\\'s");
    EXPECT_EQ(EscapeQuoted(std::string(63, 'x') + "'", '\''), std::string(63, 'x') + "... (cut: 64 bytes in all)");
}

// What admins read of a failed load: the library's quoted input cut to one piece, all escaped.
TEST(ShownTextTest, ConfigFaultTextCutsLongQuotes) {
    const std::string head = "[json.exception.parse_error.101] parse error: invalid string; last read: '";
    EXPECT_EQ(ConfigFaultText(head + "\"abc'"), head + "\"abc'") << "a short quote stays whole";
    EXPECT_EQ(ConfigFaultText(head + "\"Caf\xE9\x7F'"), head + "\"Caf\\xE9\\x7F'");
    EXPECT_EQ(ConfigFaultText(head + "\"it's \\q'"), head + "\"it\\'s \\\\q'") << "no quote ends it early";
    EXPECT_EQ(ConfigFaultText(head + "\"" + std::string(100, 'x') + "'; expected end of input"),
              head + "\"" + std::string(63, 'x') + "... (cut: 101 bytes in all)'; expected end of input");
    EXPECT_EQ(ConfigFaultText(head + "\"x'; expected ']' y'; expected '[', '{', or a literal"),
              head + "\"x\\'; expected \\']\\' y'; expected '[', '{', or a literal")
        << "the clause is the library's last one";
    EXPECT_EQ(ConfigFaultText(head + "\"x'; expected end of input ' z'"), head + "\"x\\'; expected end of input \\' z'")
        << "a token that holds a clause, and no clause after it";
    std::string bad;
    for (int i = 0; i < 256; ++i) {
        bad += "\\xFF";
    }
    EXPECT_EQ(ConfigFaultText(std::string(5000, '\xFF')), bad + "... (cut: 5000 bytes in all)")
        << "the whole is one bounded line";
    const std::string overflow = "[json.exception.out_of_range.406] number overflow parsing '";
    EXPECT_EQ(ConfigFaultText(overflow + std::string(3000, '9') + "'"),
              overflow + std::string(64, '9') + "... (cut: 3000 bytes in all)'");
}

}  // namespace
