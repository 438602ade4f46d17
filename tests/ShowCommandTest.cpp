// lumora-config show: the configuration as loaded, as a table and as a file that loads back.

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

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

class ShowCommandTest : public TestSupport::ConfigToolTest {};

// What a valid file shows stays short and cannot drive a terminal: aliases cut like every quoted
// value, and the JSON form with DEL, C1 and bidirectional controls escaped.
TEST_F(ShowCommandTest, ShownTextIsBoundedAndInert) {
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

TEST_F(ShowCommandTest, ValidFilesSummariseAndShowLoadsBack) {
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

}  // namespace
