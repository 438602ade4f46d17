// lumora-config as a process: usage errors, and what the system refuses reported as a failure.

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <filesystem>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "AsaApiStandIn/Control.h"
#include "lumora-config/InstallFiles.h"
#include "support/ConfigToolTest.h"
#include "text/ToolProcess.h"

using namespace Lumora;
using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using TestSupport::ShellQuoted;

namespace {

using Result = TestSupport::ToolResult;

class LumoraConfigTest : public TestSupport::ConfigToolTest {};

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
        EXPECT_EQ(run.status, OutputLostStatus) << command;
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

#if defined(_WIN32)
// Every command's file argument goes through one helper, which gives a path that could reach the
// old 260-character limit its long form: a drive path and a share; a short path stays as typed.
TEST(SystemPathTest, PathsThatCouldReachTheLimitGetTheLongForm) {
    const std::wstring deep = L"\\" + std::wstring(200, L'd');
    EXPECT_EQ(SystemPath(L"C:" + deep + L"\\config.json").native(), L"\\\\?\\C:" + deep + L"\\config.json");
    EXPECT_EQ(SystemPath(L"\\\\server\\share" + deep).native(), L"\\\\?\\UNC\\server\\share" + deep);
    EXPECT_EQ(SystemPath(L"C:\\Ark\\config.json").native(), L"C:\\Ark\\config.json");
    EXPECT_EQ(AdminPath(SystemPath(L"\\\\server\\share" + deep)).native(), L"\\\\server\\share" + deep);
}

// A tool shows UTF-8 while it runs and gives the console the admin's code page back at its end.
TEST(ToolProcessTest, TheConsoleGetsItsCodePageBack) {
    const UINT before = GetConsoleOutputCP();
    if (before == 0 || !SetConsoleOutputCP(850)) {
        GTEST_SKIP() << "no console to set a code page on";
    }
    char name[] = "tool";
    char* arguments[] = {name, nullptr};
    RunTool(
        "tool",
        [](int, char**) {
            EXPECT_EQ(GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8));
            return 0;
        },
        1, arguments);
    EXPECT_EQ(GetConsoleOutputCP(), 850u);
    SetConsoleOutputCP(before);
}
#endif

}  // namespace
