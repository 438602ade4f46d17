// lumora-config check: the plugin's own messages for a file, a hint for what the file is, and
// warnings that change nothing; what it prints stays short and inert.

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <tuple>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "config/ConfigLoader.h"
#include "support/ConfigToolTest.h"

using namespace Lumora;
using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using TestSupport::ShellQuoted;

namespace {

using Result = TestSupport::ToolResult;

class CheckCommandTest : public TestSupport::ConfigToolTest {};

TEST_F(CheckCommandTest, ReportsWhatThePluginLogs) {
    const std::string files[] = {
        "[]",
        "",
        "\xEF\xBB\xBF",
        "{\"Sender\": \"\xFF\"}",
        "// comment\n{}",
        R"({"ChatCommands": []})",
        R"({"ChatCommands": [1]})",
        R"({"DefaultPreset": "ultra"})",
        R"({"Presets": {"low": {}}})",
        R"({"OnCommands": [], "Presets": {}})",
        R"({"LogUsage": "yes", "Sender": 1})",
        "{\"HelpMessage\": \"" + std::string(1025, 'h') + "\"}",
        std::string(100000, '[') + std::string(100000, ']'),
        std::string("\x00\x01\x02\xFF\xFE", 5),
    };
    for (const auto& content : files) {
        const std::string path = File("bad.json", content);
        const Result check = Tool("check " + ShellQuoted(path));
        EXPECT_EQ(check.status, 1) << content.substr(0, 60);
        const std::string report = PluginReport(path);
        ASSERT_FALSE(report.empty()) << "the plugin loaded " << content.substr(0, 60);
        // The same line, then perhaps a hint about the file's encoding.
        const std::string first = check.out.substr(0, check.out.find('\n') + 1);
        EXPECT_EQ(first, "invalid configuration: " + report + "\n");
        const std::string rest = check.out.substr(first.size());
        EXPECT_TRUE(rest.empty() || rest.starts_with("hint: ")) << rest;
        const Result show = Tool("show " + ShellQuoted(path) + " --json");
        EXPECT_EQ(show.status, 1);
        EXPECT_EQ(show.out, check.out);
    }
}

#if !defined(_WIN32)

// Nothing but a regular file is opened, so a named pipe or a device neither blocks nor runs on.
TEST_F(CheckCommandTest, FilesThatCannotBeOpened) {
    const std::string missing = (dir.path() / "missing.json").string();
    const std::string fifo = (dir.path() / "fifo.json").string();
    const std::string link = (dir.path() / "link.json").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink(fifo, link);
    const std::pair<std::string, std::string> cases[] = {
        {missing, "does not exist"},      {dir.path().string(), "is a folder"}, {fifo, "is a named pipe (FIFO)"},
        {link, "is a named pipe (FIFO)"}, {"/dev/zero", "is a device"},
    };
    for (const auto& [path, what] : cases) {
        const Result check = Tool("check " + ShellQuoted(path));
        EXPECT_EQ(check.status, 1);
        EXPECT_EQ(check.out, "invalid configuration: could not open " + path + "\nhint: " + path + " " + what +
                                 "; config.json must be a regular file\n");
    }
    // Nor is a named pipe written to, however forced; its name is shown escaped.
    const std::string oddPipe = (dir.path() / "pipe\x1B.json").string();
    ASSERT_EQ(mkfifo(oddPipe.c_str(), 0600), 0);
    const Result init = Tool("init --force " + ShellQuoted(oddPipe));
    EXPECT_EQ(init.status, 1);
    EXPECT_THAT(init.err, HasSubstr("could not write " + (dir.path() / "pipe\\x1B.json").string() + ": "));
}
#endif

// Files saved in another encoding fail with the library's message, which the checker keeps, and a
// hint naming what it sees; every line it prints is valid UTF-8 and bounded.
TEST_F(CheckCommandTest, EncodingMistakesAreNamed) {
    const std::string utf16 = std::string("{\0}\0", 4);
    struct Case {
        std::string bytes;
        std::string hint;
    } cases[] = {
        {"{\"Sender\": \"Caf\xE9\"}", "the file is not valid UTF-8 (perhaps Latin-1 or Windows-1252)"},
        {"\xFF\xFE" + utf16, "the file looks like UTF-16 (little-endian, with a byte-order mark)"},
        {utf16, "the file looks like UTF-16 (little-endian)"},
        {std::string("\xFF\xFE\0\0{\0\0\0}\0\0\0", 12),
         "the file looks like UTF-32 (little-endian, with a byte-order mark)"},
        {std::string("\0\0\0{\0\0\0}", 8), "the file looks like UTF-32 (big-endian)"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF{}", "the file looks like UTF-8 with its byte-order mark twice"},
    };
    for (const auto& c : cases) {
        const Result check = Tool("check " + ShellQuoted(File("encoded.json", c.bytes)));
        EXPECT_EQ(check.status, 1);
        EXPECT_THAT(check.out, HasSubstr("\nhint: " + c.hint + "; config.json must be UTF-8")) << check.out;
        EXPECT_EQ(json(check.out).dump(), json::parse(json(check.out).dump()).dump()) << "valid UTF-8";
    }
    EXPECT_THAT(Tool("check " + ShellQuoted(File("latin1.json", cases[0].bytes))).out,
                HasSubstr("last read: '\"Caf\\xE9\"'"));

    // A token that holds the text of an expected clause still ends at the library's own quote.
    const Result hostile =
        Tool("check " +
             ShellQuoted(File("hostile.json", "{\"Sender\": \"x'; expected end of input \\\" \\\\ ' done\x01\"}")));
    EXPECT_THAT(hostile.out, HasSubstr("last read: '\"x\\'; expected end of input \\\\\" \\\\\\\\ \\' done<U+0001>'\n"))
        << hostile.out;

    const Result overflow = Tool("check " + ShellQuoted(File("big.json", "{\n\n\n\n  \"LogUsage\": 1e99999\n}")));
    EXPECT_EQ(overflow.out,
              "invalid configuration: [json.exception.out_of_range.406] number overflow parsing "
              "'1e99999'\nhint: the number at line 5, column 15 is too large for a JSON number (a double)\n");
    EXPECT_THAT(Tool("check " + ShellQuoted(File("boms.json", "\xEF\xBB\xBF\xFF\xFE" + utf16))).out,
                HasSubstr("\nhint: the file looks like UTF-16 (little-endian, with a byte-order mark), behind a UTF-8 "
                          "byte-order mark; config.json must be UTF-8\n"));

    // A 1 MB string that ends in a control character: one short line, marked as cut.
    const Result huge =
        Tool("check " + ShellQuoted(File("huge.json", "{\"Sender\": \"" + std::string(1'000'000, 'a') + "\x01\"}")));
    EXPECT_EQ(huge.status, 1);
    EXPECT_LT(huge.out.size(), 600u);
    EXPECT_THAT(huge.out, HasSubstr("... (cut: 1000009 bytes in all)"));
}

TEST_F(CheckCommandTest, WarningsChangeNothing) {
    struct Case {
        std::string json;
        std::string warning;
    } cases[] = {
        {R"({"OffCommands": ["r.A  1"]})",
         "warning: OffCommands[0]: \"r.A  1\" is not one variable name, one space and a value"},
        {R"({"OffCommands": ["r.A"]})",
         "warning: OffCommands[0]: \"r.A\" is not one variable name, one space and a value"},
        {R"({"OffCommands": ["r.A 1", "r.A 2"]})", "warning: OffCommands[1]: sets r.A more than once"},
        {R"({"Presets": {"low": ["r.Fog 1"]}})",
         "warning: Presets.low[0]: \"r.Fog 1\" is replaced by the forced command \"r.Fog 0\""},
        {R"({"Presets": {"high": ["r.A 1", "open 192.0.2.7:7777"]}})",
         "warning: Presets.high[1]: \"open 192.0.2.7:7777\" is not a variable setting: the client command open "
         "connects the client to another server or map, on the client of every player who applies it"},
        {R"({"OffCommands": ["Exec\tcheats.txt"]})",
         "warning: OffCommands[0]: \"Exec\\tcheats.txt\" is not one variable name, one space and a value"},
        {R"({"Sender": "a", "Presets": {"low": ["r.A 1"], "low": ["r.A 2"]}, "Sender": "b"})",
         "warning: Presets: the key \"low\" is given twice in one object: only the last one counts\n"
         "warning: the key \"Sender\" is given twice in one object: only the last one counts"},
        {R"({"Sender": "a"} {"Sender": "b"})", "warning: content after the first JSON value (from byte 17) is ignored"},
        {R"({"ChatCommands": ["/fps", "/FPS", "/fps low"]})",
         "warning: ChatCommands: \"/fps\" equals \"/FPS\" ignoring letter case: the host only ever calls the "
         "first of them\n"
         "warning: ChatCommands: \"/fps low\" holds a space: the host matches only a line's first word, so it can "
         "never be typed"},
        {R"({"ChatCommands": ["/fps\u0000x"], "OffCommands": ["r.A\u00001"], "Sender": "\u0000"})",
         "warning: ChatCommands: \"/fps\\x00x\" holds U+0000: everything after it is dropped when the text "
         "reaches the engine\n"
         "warning: OffCommands[0]: \"r.A\\x001\" holds U+0000: everything after it is dropped when the text "
         "reaches the engine\n"
         "warning: OffCommands[0]: \"r.A\\x001\" is not one variable name, one space and a value\n"
         "warning: Sender: \"\\x00\" holds U+0000: everything after it is dropped when the text reaches the "
         "engine"},
        {R"({"chatcommands": ["/x"]})",
         "warning: member \"chatcommands\" is ignored: the key is \"ChatCommands\" (letter case and spaces count)"},
        {R"({" Presets": {}})",
         "warning: member \" Presets\" is ignored: the key is \"Presets\" (letter case and spaces count)"},
        {R"({"Presets": {"Low": []}})",
         "warning: Presets: member \"Low\" is ignored: the key is \"low\" (letter case and spaces count)"},
        {R"({"OnCommands": ["r.A 1"], "Presets": {}})",
         "warning: \"OnCommands\" is dropped because \"Presets\" is present"},
        // The client's console reads command names in any letter case.
        {R"({"OffCommands": ["OPEN 192.0.2.7", "Exec cheats.txt"]})",
         "warning: OffCommands[0]: \"OPEN 192.0.2.7\" is not a variable setting: the client command open connects "
         "the client to another server or map, on the client of every player who applies it\n"
         "warning: OffCommands[1]: \"Exec cheats.txt\" is not a variable setting: the client command exec runs a "
         "file of console commands, on the client of every player who applies it"},
        {R"({"ChatCommands": ["/fps\u0000a", "/FPS\u0000b", "fps\nlow"]})",
         "warning: ChatCommands: \"/FPS\\x00b\" holds U+0000: everything after it is dropped when the text reaches "
         "the engine\n"
         "warning: ChatCommands: \"/fps\\x00a\" holds U+0000: everything after it is dropped when the text reaches "
         "the engine\n"
         "warning: ChatCommands: \"/fps\\x00a\" equals \"/FPS\\x00b\" ignoring letter case and what follows U+0000: "
         "the host only ever calls the first of them\n"
         "warning: ChatCommands: \"fps\\nlow\" holds the control character \\n: no player can type it"},
        {R"({"Pre\u001bsets": {"low": 1, "low\u202e": 2, "low": 3}})",
         "warning: \"Pre\\x1Bsets\": the key \"low\" is given twice in one object: only the last one counts\n"
         "warning: member \"Pre\\x1Bsets\" is ignored: it is no key; did you mean \"Presets\"?"},
        // A key in a warning's path is quoted, so that it cannot read as a statement of its own.
        {R"({"X\": the key \"Sender\" is given twice in one object; A": {"k": 1, "k": 2}})",
         "warning: \"X\\\": the key \\\"Sender\\\" is given twice in one object; A\": the key \"k\" is given twice in "
         "one object: only the last one counts\n"
         "warning: member \"X\\\": the key \\\"Sender\\\" is given twice in one object; A\" is ignored: it is no key "
         "of config.json"},
        {std::string("{\"Sender\": \"a\"}\0garbage", 23),
         "warning: content after the first JSON value (from byte 15) is ignored"},
        // Unknown keys, each with the known key it most likely meant: a letter away, or equal once
        // what does not show is set aside. "$schema" and comments ("_...") are no mistake.
        {R"({"Sendr": "a", "LogUsge": true, "Colour": "red", "$schema": "x", "_note": "y"})",
         "warning: member \"Colour\" is ignored: it is no key of config.json\n"
         "warning: member \"LogUsge\" is ignored: it is no key; did you mean \"LogUsage\"?\n"
         "warning: member \"Sendr\" is ignored: it is no key; did you mean \"Sender\"?"},
        {R"({"\u200bSender": "a", "Sen\u0000der": "b", "\ufeffSender": "c", "\u0405ender": "d"})",
         "warning: member \"Sen\\x00der\" is ignored: it is no key; did you mean \"Sender\"?\n"
         "warning: member \"\xD0\x85"
         "ender\" is ignored: it is no key; did you mean \"Sender\"?\n"
         "warning: member \"\\u200BSender\" is ignored: it is no key; did you mean \"Sender\"?\n"
         "warning: member \"\\uFEFFSender\" is ignored: it is no key; did you mean \"Sender\"?"},
        {R"({"Presets": {"loow": [], "ultra": [], "_note": "y"}})",
         "warning: Presets: member \"loow\" is ignored: it is no key; did you mean \"low\"?\n"
         "warning: Presets: member \"ultra\" is ignored: it is no key here"},
        // A tie goes to the key of today, not to one kept for older files; a quote is escaped.
        {R"({"OfCommands": [], "DisabledMesage": "x", "Sen\"der": "z"})",
         "warning: member \"DisabledMesage\" is ignored: it is no key; did you mean \"DisabledMessage\"?\n"
         "warning: member \"OfCommands\" is ignored: it is no key; did you mean \"OffCommands\"?\n"
         "warning: member \"Sen\\\"der\" is ignored: it is no key; did you mean \"Sender\"?"},
    };
    for (const auto& c : cases) {
        const std::string path = File("warn.json", c.json);
        const Result check = Tool("check " + ShellQuoted(path));
        EXPECT_EQ(check.status, 0) << c.json;
        EXPECT_EQ(check.err, c.warning + "\n") << c.json;
        EXPECT_THAT(check.out, StartsWith("valid: "));
    }
    const Result invalid = Tool("check " + ShellQuoted(File("w.json", R"({"chatcommands": 1, "LogUsage": 1})")));
    EXPECT_EQ(invalid.status, 1);
    EXPECT_EQ(invalid.out, "invalid configuration: LogUsage must be true or false\n");
    EXPECT_THAT(invalid.err, StartsWith("warning: member \"chatcommands\""));
}

// Hostile files: whatever they hold, the checker's output is escaped and short.
TEST_F(CheckCommandTest, HostileFilesGiveShortEscapedOutput) {
    std::string twice = "{";
    for (int i = 0; i < 100000; ++i) {
        twice += "\"a\": 1, ";
    }
    std::string nearMisses = "{";
    for (int bits = 0; bits < 4096; ++bits) {  // every letter case of "chatcommands", one of them the key
        std::string key = "chatcommands";
        for (int k = 0; k < 12; ++k) {
            key[k] = (bits >> k & 1) != 0 ? AsciiUpper(key[k]) : key[k];
        }
        nearMisses += "\"" + key + "\": [\"/x\"], ";
    }
    // The unknown keys ("a", "b" and the near misses) are one kind of warning, counted together.
    const std::tuple<std::string, std::string, int> cases[] = {
        {twice + "\"b\": 1}", "warning: \u2026 and 99935 more like the one above\n", 67},
        {nearMisses + "\"b\": 1}", "warning: \u2026 and 4032 more like the one above\n", 65},
        {"{\"OffCommands\": [\"r.A\\u001b\\u202e" + std::string(1'000'000, 'x') + "\"]}", "", 0},
    };
    // A key given twice deep down: its place is cut after a few keys, however deep and long they are.
    std::string deep;
    for (int i = 0; i < 60; ++i) {
        deep += "{\"" + std::string(200, 'k') + "\": ";
    }
    deep += "{\"a\": 1, \"a\": 2}" + std::string(60, '}');
    const std::string deepWarning = Tool("check " + ShellQuoted(File("deep.json", deep))).err;
    EXPECT_THAT(deepWarning, HasSubstr("...: the key \"a\" is given twice"));
    EXPECT_LT(deepWarning.size(), 1024u);
    for (const auto& [file, more, lines] : cases) {
        const Result check = Tool("check " + ShellQuoted(File("hostile.json", file)));
        const std::string output = check.out + check.err;
        EXPECT_LT(output.size(), 16384u);
        EXPECT_EQ(json(output).dump(), json::parse(json(output).dump()).dump()) << "valid UTF-8";
        EXPECT_EQ(std::count_if(output.begin(), output.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\n'; }),
                  0);
        if (!more.empty()) {
            EXPECT_THAT(check.err, HasSubstr(more));
            EXPECT_EQ(std::count(check.err.begin(), check.err.end(), '\n'), lines);
        }
    }
}

}  // namespace
