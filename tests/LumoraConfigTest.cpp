// lumora-config against the plugin itself: same messages, files that load back, warnings that
// change nothing; and the guide, the schema and the loader agreeing on the keys.

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "AsaApiStandIn/Control.h"
#include "config/ConfigLoader.h"
#include "support/JsonLines.h"
#include "support/TestSupport.h"

using namespace Lumora;
using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;
using TestSupport::ShellQuoted;

namespace {

using Result = TestSupport::ToolResult;

class LumoraConfigTest : public ::testing::Test {
protected:
    // environment: assignments for the tool's process (POSIX shells only).
    Result Tool(const std::string& arguments, const std::string& environment = "") {
        return TestSupport::RunTool(LUMORA_CONFIG_PATH, arguments, dir.path() / "err.txt", environment);
    }
    std::string File(const std::string& name, const std::string& content) {
        const auto path = dir.path() / name;
        TestSupport::WriteFile(path, content);
        return path.string();
    }
    // What the plugin logs for this file, started in the development host.
    std::string PluginReport(const std::string& file) {
        const auto run = TestSupport::RunCommand(TestSupport::ShellQuoted(LUMORA_DEVHOST_PATH) + " --json --config " +
                                                 TestSupport::ShellQuoted(file) + " --server-dir " +
                                                 TestSupport::ShellQuoted((dir.path() / "server").string()) + " " +
                                                 TestSupport::NoInput());
        std::string report;
        const std::string prefix = "Lumora: invalid configuration: ";
        for (const auto& event : TestSupport::JsonLines(run.output)) {
            if (event.value("event", "") == "log" && event.value("message", "").rfind(prefix, 0) == 0) {
                report = event["message"].get<std::string>().substr(prefix.size());
            }
        }
        return report;
    }
    TestSupport::TempDir dir;
};

TEST_F(LumoraConfigTest, ReportsWhatThePluginLogs) {
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
TEST_F(LumoraConfigTest, FilesThatCannotBeOpened) {
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

// What a valid file shows stays short and cannot drive a terminal: aliases cut like every quoted
// value, and the JSON form with DEL, C1 and bidirectional controls escaped.
TEST_F(LumoraConfigTest, ShownTextIsBoundedAndInert) {
    json aliases = json::array();
    for (int i = 0; i < 64; ++i) {
        aliases.push_back("/" + std::to_string(100 + i) + std::string(508, 'a'));
    }
    const auto path = File("aliases.json", json{{"ChatCommands", aliases}}.dump());
    for (const char* command : {"check ", "show "}) {
        const Result result = Tool(command + ShellQuoted(path));
        EXPECT_EQ(result.status, 0);
        const std::string first = result.out.substr(0, result.out.find('\n'));
        EXPECT_LT(first.size(), 8000u) << command;
        EXPECT_THAT(first, HasSubstr("... (cut: 512 bytes in all)")) << command;
    }
    const std::string sender = "a\x7F\xC2\x85\xE2\x80\xAE\xD8\x9C\xE2\x80\x8F";
    const Result show = Tool("show --json " + ShellQuoted(File("controls.json", json{{"Sender", sender}}.dump())));
    EXPECT_THAT(show.out, HasSubstr(R"("Sender": "a\u007F\u0085\u202E\u061C\u200F")"));
    EXPECT_EQ(json::parse(show.out)["Sender"], sender) << "the same text, escaped";
}

TEST_F(LumoraConfigTest, ValidFilesSummariseAndShowLoadsBack) {
    std::string sixtyFour = "[";
    for (int i = 0; i < 64; ++i) {
        sixtyFour += (i ? ",\"r.V" : "\"r.V") + std::to_string(i) + " 1\"";
    }
    sixtyFour += "]";
    const std::string files[] = {
        "{}",
        R"({"ChatCommands": ["fps", "/perf", "/fps", "fps"], "DefaultPreset": "EPIC", "OffCommands": [],
            "Sender": "", "BaselineMessage": "b {preset} {}", "LogUsage": false,
            "Presets": {"low": ["r.Fog 1", "r.A 1"], "ultra": ["x"]}})",
        R"({"DefaultPreset": "high", "OnCommands": ["r.VSync 0", "r.Shadow 1"], "EnabledMessage": "Ünïcode ☃"})",
    };
    for (const auto& content : files) {
        const std::string path = File("good.json", content);
        const Result check = Tool("check " + ShellQuoted(path));
        EXPECT_EQ(check.status, 0) << check.out;
        EXPECT_THAT(check.out, StartsWith("valid: "));
        const Result show = Tool("show --json " + ShellQuoted(path));
        ASSERT_EQ(show.status, 0);
        const std::string back = File("back.json", show.out);
        EXPECT_TRUE(LoadConfigFrom(back) == LoadConfigFrom(path)) << content;
    }
    EXPECT_EQ(Tool("check " + ShellQuoted(File("d.json", R"({"Presets": {"low": )" + sixtyFour + "}}"))).out,
              "valid: 2 chat aliases (/fps, fps), default Medium, commands per preset: low 68, medium 25, high 25, "
              "epic 25, baseline 25 commands\n");
    const Result table = Tool("show");
    EXPECT_EQ(table.status, 0);
    EXPECT_THAT(table.out, HasSubstr("variable"));
    EXPECT_THAT(table.out, ::testing::ContainsRegex("r.ScreenPercentage +70 +80 +90 +100 +100\n"));
    EXPECT_THAT(table.out, ::testing::ContainsRegex("r.BloomQuality +- +- +- +- +5\n"));
    // A variable set twice in a list shows the last setting, the one the client keeps.
    const Result twice =
        Tool("show " + ShellQuoted(File("twice.json", R"({"Presets": {"low": ["r.Twice 1", "r.Twice 2"]}})")));
    EXPECT_THAT(twice.out, ::testing::ContainsRegex("\nr.Twice +2 +- +- +- +-\n"));
}

TEST_F(LumoraConfigTest, InitWritesTheBuiltInConfigurationAndKeepsExistingFiles) {
    const std::string path = (dir.path() / "new.json").string();
    EXPECT_EQ(Tool("init " + ShellQuoted(path)).status, 0);
    const Result check = Tool("check " + ShellQuoted(path));
    EXPECT_EQ(check.status, 0);
    EXPECT_THAT(check.err, IsEmpty()) << "the built-in configuration draws no warning";
    PluginConfig loaded = LoadConfigFrom(path);
    PluginConfig builtIn = BuiltInConfig();
    EXPECT_EQ(loaded.OffCommands, builtIn.OffCommands);
    EXPECT_EQ(loaded.HelpMessage, builtIn.HelpMessage);

    const std::string existing = File("existing.json", "{\"Sender\": \"mine\"}");
    EXPECT_EQ(Tool("init " + ShellQuoted(existing)).status, 1);
    EXPECT_EQ(TestSupport::ReadFile(existing), "{\"Sender\": \"mine\"}");
    EXPECT_EQ(Tool("init --force " + ShellQuoted(existing)).status, 0);
    EXPECT_EQ(LoadConfigFrom(existing).Sender, "Lumora");
    EXPECT_EQ(Tool("init").out, TestSupport::ReadFile(path));
    // Replaced whole: another name of the old file keeps the old text, and nothing is left beside it.
    const std::string linked = File("linked.json", "{\"Sender\": \"old\"}");
    std::error_code noHardLinks;
    std::filesystem::create_hard_link(linked, dir.path() / "other-name.json", noHardLinks);
    ASSERT_EQ(Tool("init --force " + ShellQuoted(linked)).status, 0);
    EXPECT_EQ(TestSupport::ReadFile(linked), TestSupport::ReadFile(path));
    if (!noHardLinks) {
        EXPECT_EQ(TestSupport::ReadFile((dir.path() / "other-name.json").string()), "{\"Sender\": \"old\"}");
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
    }
    // What failed is said.
    const Result noFolder = Tool("init " + ShellQuoted((dir.path() / "no-folder" / "c.json").string()));
    EXPECT_EQ(noFolder.status, 1);
#if !defined(_WIN32)
    EXPECT_THAT(noFolder.err, HasSubstr("c.json: No such file or directory"));
#endif

    // A link, dangling or not, is never written through, with --force or without.
    const auto dangling = dir.path() / "dangling.json";
    if (const std::string noLink = TestSupport::MakeSymlink(dir.path() / "target.json", dangling); !noLink.empty()) {
        std::cout << "the rows through a link are skipped: " << noLink << '\n';
        return;
    }
    for (const char* force : {"", "--force "}) {
        EXPECT_EQ(Tool(std::string("init ") + force + ShellQuoted(dangling.string())).status, 1) << force;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "target.json")) << force;
    }
}

// Files saved in another encoding fail with the library's message, which the checker keeps, and a
// hint naming what it sees; every line it prints is valid UTF-8 and bounded.
TEST_F(LumoraConfigTest, EncodingMistakesAreNamed) {
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

TEST_F(LumoraConfigTest, WarningsChangeNothing) {
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
TEST_F(LumoraConfigTest, HostileFilesGiveShortEscapedOutput) {
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

TEST_F(LumoraConfigTest, UsageErrors) {
    for (const char* arguments : {"", "check", "frobnicate", "check a b", "check --json x", "init --json",
                                  "show --force", "--bogus check x", "install", "install a b c", "install --force a"}) {
        const Result result = Tool(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_THAT(result.err, HasSubstr("usage:")) << arguments;
        EXPECT_THAT(result.out, IsEmpty()) << arguments;
    }
    const std::string odd = Tool("'x\x1B[31m'").err;  // the quotes stay on Windows
    EXPECT_THAT(odd, HasSubstr("x\\x1B[31m")) << "the argument escaped";
    EXPECT_EQ(odd.find('\x1B'), std::string::npos);
}

// Nothing when file holds what the generator writes now; else the hint first, then the first lines
// that differ (a whole schema would bury the hint).
std::string Stale(const std::string& name, const std::string& file, const std::string& written) {
    if (file == written) {
        return "";
    }
    const auto lines = [](const std::string& text) {
        std::vector<std::string> split;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            split.push_back(line);
        }
        return split;
    };
    const auto had = lines(file), now = lines(written);
    std::string report = name + " is not what the code makes now: run scripts/write-key-docs\n";
    for (std::size_t i = 0, shown = 0; shown < 3 && i < std::max(had.size(), now.size()); ++i) {
        const std::string a = i < had.size() ? had[i] : "(no line)", b = i < now.size() ? now[i] : "(no line)";
        if (a != b) {
            report += "  line " + std::to_string(i + 1) + ", in the file: " + a.substr(0, 160) + "\n  line " +
                      std::to_string(i + 1) + ", made now:   " + b.substr(0, 160) + "\n";
            ++shown;
        }
    }
    return report;
}

// The schema, the guide's table of keys, the fuzzer's seed of the built-in file and the figures the
// docs quote are what the code makes now (scripts/write-key-docs writes them again), and the loader
// reads every key.
TEST_F(LumoraConfigTest, GuideSchemaAndLoaderAgree) {
    std::string stale =
        Stale("schema/config.schema.json", TestSupport::ReadFile(LUMORA_SCHEMA_PATH), Tool("schema").out);
    const std::string guide = TestSupport::ReadFile(LUMORA_GUIDE_PATH);
    const std::string begin =
        "<!-- The table of keys: written by scripts/write-key-docs from config/ConfigKeys.cpp. -->\n";
    const auto from = guide.find(begin);
    const auto to = guide.find("<!-- End of the table of keys. -->");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    stale += Stale("the guide's table of keys", guide.substr(from + begin.size(), to - from - begin.size()),
                   TestSupport::RunTool(LUMORA_DOCS_PATH, "keys", dir.path() / "err.txt").out);
    stale += Stale("fuzz/corpus/config/built-in", TestSupport::ReadFile(LUMORA_FUZZ_BUILT_IN_PATH), Tool("init").out);

    // Each figure between fact markers is the code's; a figure that no marker holds would be left
    // stale by the next change.
    std::map<std::string, std::string> facts;
    std::istringstream factLines(TestSupport::RunTool(LUMORA_DOCS_PATH, "facts", dir.path() / "err.txt").out);
    for (std::string name, value; factLines >> name && std::getline(factLines >> std::ws, value);) {
        facts[name] = value;
    }
    ASSERT_TRUE(facts.contains("hostVersion"));
    const std::regex marked("<!-- fact:(\\w+) -->(.*?)<!-- /fact -->");
    std::vector<std::filesystem::path> docs = {std::filesystem::path(LUMORA_SOURCE_PATH) / "README.md"};
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(LUMORA_SOURCE_PATH) / "docs")) {
        if (entry.path().extension() == ".md") {
            docs.push_back(entry.path());
        }
    }
    for (const auto& doc : docs) {
        const std::string text = TestSupport::ReadFile(doc);
        for (std::sregex_iterator at(text.begin(), text.end(), marked), end; at != end; ++at) {
            const auto fact = facts.find((*at)[1]);
            if (fact == facts.end() || fact->second != (*at)[2]) {
                stale += doc.filename().string() + ": " + at->str() + " is not what the code makes now (" +
                         (fact == facts.end() ? "no such fact" : fact->second) + "): run scripts/write-key-docs\n";
            }
        }
        const std::string unmarked = std::regex_replace(text, marked, "");
        for (const char* name : {"hostVersion", "maxFileKiB", "largestValidBytes", "largestValidEscapedBytes"}) {
            EXPECT_EQ(unmarked.find(facts[name]), std::string::npos)
                << doc.filename() << " quotes " << name << " (" << facts[name] << ") outside <!-- fact:" << name
                << " -->...<!-- /fact -->";
        }
    }
    EXPECT_TRUE(stale.empty()) << stale;

    // The schema's pattern for a preset's name takes what the loader takes, in any letter case.
    const json schema = json::parse(Tool("schema").out);
    const std::regex preset(schema["properties"][Key::DefaultPreset]["anyOf"][1]["pattern"].get<std::string>());
    for (const char* name : {"low", "LOW", "Low", "mEdIuM", "HIGH", "epic", "ultra", "lowx", " low", "", "lo w"}) {
        bool loads = true;
        try {
            LoadConfigFromText(json{{Key::DefaultPreset, name}}.dump());
        } catch (const std::exception&) {
            loads = false;
        }
        EXPECT_EQ(std::regex_search(name, preset), loads) << name;
    }

    // The loader really reads every key: each one of the wrong type fails the load with its own name.
    for (const ConfigKey& row : ConfigKeyTable) {
        const std::string key(row.name);
        const auto path = dir.path() / "config.json";
        TestSupport::WriteFile(path, json{{key, key == "Presets" ? json::array() : json::object()}}.dump());
        try {
            LoadConfigFrom(path.string());
            ADD_FAILURE() << key << " was not checked";
        } catch (const std::exception& error) {
            EXPECT_THAT(error.what(), StartsWith(key)) << key;
        }
    }
}

#if !defined(_WIN32)
// What the system refuses is a failure the tools say so: output that cannot be written, a write
// past the file-size limit, a closed standard output, close_range refused to the cleanup process.
TEST_F(LumoraConfigTest, WhatTheSystemRefusesIsAFailure) {
    const std::string config = ShellQuoted(LUMORA_CONFIG_PATH);
    const std::string devhost = ShellQuoted(LUMORA_DEVHOST_PATH);
    const std::string script = ShellQuoted(File("s.txt", "join a\nchat a /fps low\n"));
    const std::string valid = ShellQuoted(File("valid.json", "{}"));
    for (const std::string& command : {config + " init", config + " show", config + " show --json",
                                       config + " check " + valid, devhost + " --script " + script}) {
        const auto run = TestSupport::RunCommand(command + " </dev/null 2>&1 >/dev/full");
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_THAT(run.output, HasSubstr(": standard output could not be written")) << command;
    }

    // A write that the file-size limit stops fails as on a full disk; the old file stays, nothing
    // beside it. Replacing a file keeps its mode.
    const std::string kept = File("kept.json", "{\"Sender\": \"mine\"}");
    const std::string big = File("big.json", "{\"Sender\": \"" + std::string(8000, 'x') + "\"}");
    const auto server = dir.path() / "server";
    const std::pair<std::string, std::string> limited[] = {
        {config + " init --force " + ShellQuoted(kept), "File too large"},
        {devhost + " --server-dir " + ShellQuoted(server.string()) + " --config " + big + " --script " + script,
         "could not copy the configuration"}};
    for (const auto& [command, message] : limited) {
        const auto run =
            TestSupport::RunCommand("bash -c 'ulimit -f 2; exec \"$@\"' bash " + command + " </dev/null 2>&1");
        EXPECT_EQ(run.status, 1) << command << ": " << run.output;
        EXPECT_THAT(run.output, HasSubstr(message)) << command;
    }
    EXPECT_EQ(TestSupport::ReadFile(kept), "{\"Sender\": \"mine\"}");
    for (const auto& folder : {dir.path(), server / "ArkApi" / "Plugins" / "Lumora"}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
        }
    }
    std::filesystem::permissions(kept, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ASSERT_EQ(Tool("init --force " + ShellQuoted(kept)).status, 0);
    EXPECT_EQ(std::filesystem::status(kept).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    // With standard output closed, the host's log gets the log lines, once each, and nothing else.
    const auto closed = dir.path() / "closed";
    EXPECT_EQ(TestSupport::RunCommand(devhost + " --server-dir " + ShellQuoted(closed.string()) + " --script " +
                                      script + " </dev/null 2>/dev/null >&-")
                  .status,
              0);
    const std::string log = TestSupport::ReadFile(StandIn::HostLogFile(closed));
    EXPECT_THAT(log, HasSubstr("[Lumora][info]"));
    EXPECT_THAT(log, Not(HasSubstr("a joined")));
    EXPECT_THAT(log, Not(HasSubstr("[host]")));
    const auto applied = log.find("'a' applied the Low preset");
    ASSERT_NE(applied, std::string::npos) << log;
    EXPECT_EQ(log.find("'a' applied the Low preset", applied + 1), std::string::npos) << "written once";

    // With close_range refused, the cleanup process still lets go of the pipeline.
    const auto pipeline = TestSupport::RunCommand(
        "timeout 5 bash -c 'LD_PRELOAD=\"$0\" ASAN_OPTIONS=verify_asan_link_order=0 LUMORA_REFUSE_CLOSE_RANGE=1 "
        "\"$1\" --script \"$2\" | wc -l' " +
        ShellQuoted(LUMORA_REFUSALS_PATH) + " " + devhost + " " + script + " </dev/null >" +
        ShellQuoted((dir.path() / "pipeline.txt").string()) + " 2>&1");
    EXPECT_EQ(pipeline.status, 0) << TestSupport::ReadFile(dir.path() / "pipeline.txt");
}
#endif

}  // namespace
