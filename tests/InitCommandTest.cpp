// lumora-config init: the built-in configuration written, and existing files kept.

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <filesystem>
#include <iostream>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "config/ConfigLoader.h"
#include "support/ConfigToolTest.h"

using namespace Lumora;
using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using TestSupport::ShellQuoted;

namespace {

using Result = TestSupport::ToolResult;

class InitCommandTest : public TestSupport::ConfigToolTest {};

TEST_F(InitCommandTest, InitWritesTheBuiltInConfigurationAndKeepsExistingFiles) {
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

}  // namespace
