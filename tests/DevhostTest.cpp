// The development host driven with scripts, its events read as JSON lines.

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <fstream>
#include <iostream>
#include <sstream>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "support/JsonLines.h"
#include "support/TestSupport.h"

using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using TestSupport::ShellQuoted;

namespace {

struct Session {
    int status = -1;
    std::vector<json> events;
    std::string output;

    std::vector<json> Of(const std::string& kind) const {
        std::vector<json> found;
        for (const auto& event : events) {
            if (event.value("event", "") == kind) {
                found.push_back(event);
            }
        }
        return found;
    }
    std::vector<std::string> Texts(const std::string& kind, const std::string& field) const {
        std::vector<std::string> texts;
        for (const auto& event : Of(kind)) {
            texts.push_back(event.value(field, ""));
        }
        return texts;
    }
};

class DevhostTest : public ::testing::Test {
protected:
    Session Devhost(const std::string& script, const std::string& options = "") {
        const auto scriptPath = dir.path() / "script.txt";
        TestSupport::WriteFile(scriptPath, script);
        Session run;
        auto result = TestSupport::RunCommand(TestSupport::ShellQuoted(LUMORA_DEVHOST_PATH) + " --json --server-dir " +
                                              TestSupport::ShellQuoted((dir.path() / "server").string()) +
                                              " --script " + TestSupport::ShellQuoted(scriptPath.string()) + " " +
                                              options + " " + TestSupport::NoInput() + " 2>&1");
        run.status = result.status;
        run.output = std::move(result.output);
        run.events = TestSupport::JsonLines(run.output);
        return run;
    }
    TestSupport::TempDir dir;
};

// --hold maps a library as a server holds a loaded plugin and runs nothing of it: a library that
// ends the process when anything in it runs is held until the input ends, and nothing that is not
// a library is held (nor waited on, a named pipe included).
TEST_F(DevhostTest, HoldRunsNothingOfTheLibraryAndHoldsItUntilTheInputEnds) {
    const std::string devhost = ShellQuoted(LUMORA_DEVHOST_PATH) + " --hold ";
    const auto held =
        TestSupport::RunCommand(devhost + ShellQuoted(LUMORA_ENDS_THE_PROCESS_PATH) + " " + TestSupport::NoInput());
    EXPECT_EQ(held.status, 0) << held.output;
    EXPECT_THAT(held.output, HasSubstr("(mapped, nothing in it called) until the input ends\nreleased "));
    TestSupport::WriteFile(dir.path() / "empty.dll", "");
    TestSupport::WriteFile(dir.path() / "text.dll", "not a library at all");
    std::vector<std::pair<std::string, std::string>> refused = {
        {(dir.path() / "none.dll").string(), "could not map "},
        {(dir.path() / "text.dll").string(), "text.dll: it is not a library"},
    };
#if !defined(_WIN32)
    ASSERT_EQ(mkfifo((dir.path() / "pipe.so").c_str(), 0600), 0);
    refused.insert(refused.end(), {{(dir.path() / "empty.dll").string(), "empty.dll: it is empty"},
                                   {(dir.path() / "pipe.so").string(), "pipe.so: it is not a regular file"},
                                   {"/dev/zero", "/dev/zero: it is not a regular file"}});
#endif
    for (const auto& [path, says] : refused) {
        const auto run = TestSupport::RunCommand(devhost + ShellQuoted(path) + " 2>&1 " + TestSupport::NoInput());
        EXPECT_EQ(run.status, 1) << path;
        EXPECT_THAT(run.output, HasSubstr(says)) << path;
    }
#if !defined(_WIN32)
    // The input stays open until the hold is seen, and a while after: "released" only comes later.
    // (The last command is the shell's own: one it ran in its place would take the pipe with it.)
    const std::string out = ShellQuoted((dir.path() / "hold.txt").string());
    const auto waited = TestSupport::RunCommand(
        "{ for i in $(seq 500); do grep -q holding " + out + " 2>/dev/null && break; sleep 0.01; done; sleep 0.2; " +
        "seen=$(grep -c released " + out + "); echo $seen >" + ShellQuoted((dir.path() / "seen.txt").string()) +
        "; } | " + devhost + ShellQuoted(LUMORA_ENDS_THE_PROCESS_PATH) + " >" + out);
    EXPECT_EQ(waited.status, 0);
    EXPECT_EQ(TestSupport::ReadFile(dir.path() / "seen.txt"), "0\n")
        << "released while the input was open: " << TestSupport::ReadFile(dir.path() / "hold.txt");
    EXPECT_THAT(TestSupport::ReadFile(dir.path() / "hold.txt"), HasSubstr("\nreleased "));
#endif
}

TEST_F(DevhostTest, SessionEventsComeInTheOrderTheyHappen) {
    const Session run = Devhost("join alice\nchat alice /fps low\nchat alice /fps status\ncvars alice\nleave alice\n");
    EXPECT_EQ(run.status, 0) << run.output;
    std::vector<std::string> kinds;
    for (const auto& event : run.events) {
        const auto kind = event["event"].get<std::string>();
        if (kinds.empty() || kinds.back() != kind) {
            kinds.push_back(kind);
        }
    }
    // At unload the plugin takes out its detour; the host then takes back its command and callback.
    EXPECT_THAT(kinds, ElementsAre("log", "register", "hook", "log", "join", "console", "chat", "log", "chat", "cvars",
                                   "leave", "hook", "log", "unregister"));
    EXPECT_EQ(run.Of("register")[1],
              json({{"event", "register"}, {"alias", "Lumora"}, {"kind", "chat-message callback"}}));
    EXPECT_THAT(run.Texts("chat", "text"),
                ElementsAre("Applied the Low performance preset.", "Active Lumora preset: Low."));
    EXPECT_EQ(run.Of("console").size(), 21u);
    EXPECT_EQ(run.Of("console")[0], json({{"event", "console"}, {"player", "alice"}, {"command", "r.VSync 0"}}));
    EXPECT_EQ(run.Of("chat")[0]["sender"], "Lumora");
    EXPECT_EQ(run.Of("cvars")[0]["cvars"]["r.ScreenPercentage"], "70");
    const auto logs = run.Of("log");
    EXPECT_THAT(run.Texts("log", "message"), ::testing::Contains(::testing::StartsWith("Loaded plugin Lumora V1.2 (")));
    EXPECT_EQ(logs.back()["message"], "Lumora unloaded");
    EXPECT_THAT(logs.back()["line"].get<std::string>(), HasSubstr(" [Lumora][info] Lumora unloaded"));
    EXPECT_EQ(run.Of("hook")[0],
              json({{"event", "hook"}, {"action", "install"}, {"key", StandIn::LogoutKey}, {"result", true}}));
}

TEST_F(DevhostTest, ReloadInTheMiddleGivesEveryBlockBack) {
    const Session run = Devhost(
        "heap\njoin bob\nchat bob /fps epic\nunload\nheap\nload\nchat bob /fps status\nrejoin bob\n"
        "chat bob fps\nheap\nunload\nheap\n");
    EXPECT_EQ(run.status, 0) << run.output;
    const auto heaps = run.Of("heap");
    ASSERT_EQ(heaps.size(), 4u);
    EXPECT_EQ(heaps[3]["live_blocks"], heaps[1]["live_blocks"]) << "after unload the heap is where it was";
    EXPECT_EQ(heaps[3]["live_bytes"], heaps[1]["live_bytes"]);
    EXPECT_EQ(heaps[1]["live_blocks"], 0);
    EXPECT_THAT(run.Texts("chat", "text"),
                ElementsAre("Applied the Epic performance preset.",
                            "No Lumora preset is active. /fps on uses the configured default.",
                            "Applied the Medium performance preset."));
    EXPECT_EQ(run.Of("register").size(), 4u);
    EXPECT_EQ(run.Of("unregister").size(), 4u);
    EXPECT_TRUE(run.Of("error").empty()) << run.output;
}

// Lines closer together than a second of game time are dropped by the host, as on a real server.
TEST_F(DevhostTest, GameTimeAndTheOneSecondChatRule) {
    std::string tenths;  // nine lines a tenth of a second apart, then one exactly a second after the first
    for (int i = 0; i < 9; ++i) {
        tenths += "chat a /fps status\n";
    }
    const Session run = Devhost("join a\npace 0.4\nchat a /fps\nchat a /fps\nwait 1\nchat a /fps\npace 0.1\n" + tenths +
                                "chat a /fps\n");
    const auto dropped = run.Of("chat-dropped");
    ASSERT_EQ(dropped.size(), 10u) << run.output;
    EXPECT_EQ(dropped[0]["player"], "a");
    EXPECT_EQ(dropped[0]["text"], "/fps");
    EXPECT_THAT(run.Texts("chat", "text"),
                ElementsAre("Applied the Medium performance preset.",
                            "Baseline applied. This does not restore your original settings.",
                            "Applied the Medium performance preset."));
    EXPECT_TRUE(run.Of("error").empty()) << run.output;

    // Numbers are read whole, or the line is an error.
    const Session bad = Devhost(
        "join a\nwait 0x10\nwait 5abc\nwait 1,5\npace -1\nwait 1 2\nwait .5\nwait\n"
        "fault rpc-fails-after a +5\nwait 0.0005\nwait 1.\nwait 1." +
        std::string(30000, '0') + "\n");
    EXPECT_GE(bad.status, 0) << "a long number ends no session";
    EXPECT_EQ(bad.Of("error").size(), 9u) << bad.output;
    EXPECT_THAT(bad.Texts("error", "message")[0], HasSubstr("in digits with '.' as the point"));
}

TEST_F(DevhostTest, EachFaultKind) {
    struct Case {
        std::string script;
        std::vector<std::string> replies;
        std::size_t commands;
        std::size_t errorLines;
    } cases[] = {
        {"join a\nfault no-rpc a\nchat a /fps low\n",
         {"Unable to apply the performance preset; check the server API log."},
         0,
         1},
        {"join a\nfault no-class a\nchat a /fps off\n",
         {"Unable to apply the baseline; check the server API log."},
         0,
         0},
        {"join a\nfault rpc-fails-after a 2\nchat a /fps low\nrejoin a\nchat a /fps low\n",
         {"Unable to apply the performance preset; check the server API log.",
          "Unable to apply the performance preset; check the server API log."},
         2,
         2},
        {"join a\nfault no-messenger\nchat a /fps high\n", {}, 21, 0},
    };
    for (const auto& c : cases) {
        const Session run = Devhost(c.script);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.Texts("chat", "text"), c.replies) << c.script;
        EXPECT_EQ(run.Of("console").size(), c.commands) << c.script;
        std::size_t errors = 0;
        for (const auto& log : run.Of("log")) {
            errors += log["level"] == "error" &&
                      log["message"].get<std::string>().find("RPC was not found") != std::string::npos;
        }
        EXPECT_EQ(errors, c.errorLines) << c.script;
        EXPECT_TRUE(run.Of("error").empty()) << run.output;
    }
    // A key the engine lacks ends the server, as it does on a real one.
    const Session missing =
        Devhost("join a\nfault missing-key FGenericPlatformStricmp.Stricmp(wchar_t*,wchar_t*)\nchat a /fps HIGH\n");
    EXPECT_NE(missing.status, 0);
    EXPECT_THAT(missing.output, ::testing::HasSubstr("Failed to find the address of FGenericPlatformStricmp"));
    const Session refused = Devhost("fault refuse-hook\nunload\nload\njoin a\nchat a /fps\n");
    const auto hooks = refused.Of("hook");
    ASSERT_EQ(hooks.size(), 3u);
    EXPECT_EQ(hooks[2]["result"], false);
    EXPECT_THAT(refused.Texts("log", "message"), ::testing::Contains("Lumora: logout cleanup hook was not installed"));
    EXPECT_THAT(refused.Texts("chat", "text"), ElementsAre("Applied the Medium performance preset."));
}

TEST_F(DevhostTest, BadLinesAreErrorEventsAndTheSessionGoesOn) {
    const Session run = Devhost(
        "bogus\njoin\njoin a\njoin a\nchat b /fps\nleave b\nfault\nfault sideways\nfault rpc-fails-after a x\n"
        "load\nunload\nunload\nchat a /fps\nload\n# comment\n\nchat a /fps epic\nleave a\nchat a /fps\n");
    EXPECT_EQ(run.status, 1) << "a refused command makes the run fail";
    EXPECT_THAT(run.Texts("error", "message"),
                ElementsAre("unknown command: bogus (try help)", "join needs a NAME", "a player a has already joined",
                            "no player b has joined", "no player b has joined", "fault needs a KIND",
                            "unknown fault: sideways", "fault rpc-fails-after needs a NAME and a count N of 0 or more",
                            "the plugin Lumora is already loaded", "Plugin Lumora is not loaded", "no plugin is loaded",
                            "a is not connected"));
    EXPECT_THAT(run.Texts("chat", "text"), ElementsAre("Applied the Epic performance preset."));
}

TEST_F(DevhostTest, OptionsAndPlugins) {
    TestSupport::WriteFile(dir.path() / "high.json", R"({"DefaultPreset": "High", "Sender": "Srv"})");
    const Session configured =
        Devhost("join a\nchat a /fps\n", "--config " + ShellQuoted((dir.path() / "high.json").string()));
    EXPECT_THAT(configured.Texts("chat", "text"), ElementsAre("Applied the High performance preset."));
    EXPECT_THAT(configured.Texts("chat", "sender"), ElementsAre("Srv"));
    EXPECT_EQ(configured.status, 0);
    // The configuration edited inside the kept server folder, and given again: copied onto itself, it
    // stays (through a link to it too).
    const auto inPlace = StandIn::PluginFolder(dir.path() / "server", "Lumora") / "config.json";
    TestSupport::WriteFile(inPlace, R"({"DefaultPreset": "Low"})");
    std::vector<std::filesystem::path> givens{inPlace};
    if (const std::string noLink = TestSupport::MakeSymlink(inPlace, dir.path() / "link.json"); noLink.empty()) {
        givens.push_back(dir.path() / "link.json");
    } else {
        std::cout << "the row through a link is skipped: " << noLink << '\n';
    }
    for (const auto& given : givens) {
        const Session again = Devhost("join a\nchat a /fps\n", "--config " + ShellQuoted(given.string()));
        EXPECT_EQ(again.status, 0) << again.output;
        EXPECT_THAT(again.Texts("chat", "text"), ElementsAre("Applied the Low performance preset."));
        EXPECT_TRUE(std::filesystem::exists(inPlace));
    }

    EXPECT_EQ(Devhost("", "--bogus").status, 2);
    EXPECT_EQ(Devhost("", "--plugin /nonexistent/Lumora.so").status, 2);
    EXPECT_EQ(Devhost("", "--config").status, 2);
    TestSupport::WriteFile(dir.path() / "not-a-plugin.so", "text");
    const Session notPlugin =
        Devhost("join a\nchat a /fps\nheap\n", "--plugin " + ShellQuoted((dir.path() / "not-a-plugin.so").string()));
    EXPECT_EQ(notPlugin.status, 1) << "Lumora did not load";
    ASSERT_FALSE(notPlugin.Of("error").empty());
    EXPECT_THAT(notPlugin.Texts("error", "message").back(), HasSubstr("no plugin is loaded"));
    EXPECT_EQ(notPlugin.Of("heap").size(), 1u);
}

// Another plugin beside Lumora, loaded before it so that its "/fps" wins; lines nobody takes are
// shown to everyone.
TEST_F(DevhostTest, AnotherPluginBesideLumora) {
    TestSupport::WriteFile(StandIn::PluginFolder(dir.path() / "server", "Other") / "commands.txt", "command /fps\n");
    const std::string other = std::string(" ") + LUMORA_NEIGHBOUR_PATH + "\n";
    const Session run = Devhost("join a\nunload\nload-plugin Other" + other + "load\nload-plugin Other" + other +
                                "load-plugin Lumora" + other +
                                "chat a /fps low\nchat a fps low\nchat a fps is slow\nunload-plugin Other\n"
                                "chat a /fps\nload-plugin Other\nload-plugin Other /nonexistent/Other.so\n");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_THAT(run.Texts("chat", "sender"), ElementsAre("Other", "Lumora", "Lumora"));
    EXPECT_THAT(run.Texts("chat", "text"), ElementsAre("/fps low", "Applied the Low performance preset.",
                                                       "Baseline applied. This does not restore your original "
                                                       "settings."));
    EXPECT_EQ(run.Of("chat-shown"),
              std::vector<json>{json({{"event", "chat-shown"}, {"player", "a"}, {"text", "fps is slow"}})});
    EXPECT_THAT(run.Texts("error", "message"),
                ElementsAre("the plugin Other is already loaded", "the plugin Lumora is already loaded",
                            "load-plugin needs a NAME and the PATH of its library",
                            HasSubstr("could not copy /nonexistent/Other.so")))
        << "a loaded plugin's library is never copied over";
    EXPECT_TRUE(std::filesystem::exists(StandIn::PluginLibrary(dir.path() / "server", "Other")))
        << "a copy that failed leaves the library it was to replace";

    const Session also = Devhost("join a\nchat a /fps\n", std::string("--also-plugin Other=") + LUMORA_NEIGHBOUR_PATH);
    EXPECT_THAT(also.Texts("chat", "sender"), ElementsAre("Lumora")) << "Lumora loads first and its /fps wins";
    EXPECT_THAT(also.Texts("log", "message"), ::testing::Contains("Loaded plugin Other V1 (No description)"));
}

// Read by a person, the session shows names and chat lines escaped as the log does: nothing a
// player types reaches the terminal as a control.
TEST_F(DevhostTest, ReadableOutputIsEscaped) {
    const auto script = dir.path() / "script.txt";
    TestSupport::WriteFile(script, "join a\x1B]0;x\x07\nchat a\x1B]0;x\x07 hi\x1B[2J\x07\n");
    const auto run = TestSupport::RunCommand(TestSupport::ShellQuoted(LUMORA_DEVHOST_PATH) + " --server-dir " +
                                             ShellQuoted((dir.path() / "server").string()) + " --script " +
                                             ShellQuoted(script.string()) + " " + TestSupport::NoInput());
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.output, HasSubstr("a\\x1B]0;x\\x07 joined"));
    EXPECT_THAT(run.output, HasSubstr("hi\\x1B[2J\\x07"));
    EXPECT_EQ(run.output.find_first_of("\x1B\x07"), std::string::npos);

    // An alias and a console command from the configuration holding a line break print as one line.
    TestSupport::WriteFile(dir.path() / "forged.json", R"({"ChatCommands": ["/fps", "/a\n[host] forged alias"],
        "Presets": {"low": ["r.A 1\n[chat to everyone] admin: forged"]}})");
    TestSupport::WriteFile(script, "join a\nchat a /fps low\ncvars a\n");
    const auto forged = TestSupport::RunCommand(TestSupport::ShellQuoted(LUMORA_DEVHOST_PATH) + " --server-dir " +
                                                ShellQuoted((dir.path() / "server").string()) + " --config " +
                                                ShellQuoted((dir.path() / "forged.json").string()) + " --script " +
                                                ShellQuoted(script.string()) + " " + TestSupport::NoInput());
    EXPECT_THAT(forged.output, HasSubstr("registered: /a\\n[host] forged alias"));
    EXPECT_THAT(forged.output, HasSubstr("r.A = 1\\n[chat to everyone] admin: forged"));
    EXPECT_THAT(forged.output, ::testing::Not(HasSubstr("\n[host] forged")));
    EXPECT_THAT(forged.output, ::testing::Not(HasSubstr("\n[chat to everyone]")));

    // So are the server folder's path and an argument it cannot take.
#if !defined(_WIN32)  // no line break in a Windows path
    const auto oddFolder = dir.path() / "odd\nserver folder: forged";
    const auto odd = TestSupport::RunCommand(TestSupport::ShellQuoted(LUMORA_DEVHOST_PATH) + " --server-dir " +
                                             ShellQuoted(oddFolder.string()) + " " + TestSupport::NoInput());
    EXPECT_THAT(odd.output, HasSubstr("odd\\nserver folder: forged\n"));
#endif
    const auto bogus = TestSupport::RunCommand(TestSupport::ShellQuoted(LUMORA_DEVHOST_PATH) + " '--x\x1B[2J' 2>&1");
    EXPECT_EQ(bogus.status, 2);
    EXPECT_THAT(bogus.output, HasSubstr("--x\\x1B[2J"));  // the quotes stay on Windows
    EXPECT_EQ(bogus.output.find('\x1B'), std::string::npos);
}

// In JSON, what a player sends comes out with DEL, C1 and format characters escaped too.
TEST_F(DevhostTest, JsonOutputEscapesWhatATerminalMustNotGetRaw) {
    const Session run = Devhost("join a\x7F\xC2\x9B\xE2\x80\xAE\xE2\x80\x8B\n");
    EXPECT_THAT(run.output, HasSubstr(R"("player":"a\u007F\u009B\u202E\u200B")"));
    EXPECT_EQ(run.output.find_first_of("\x7F"), std::string::npos);
    EXPECT_EQ(run.output.find("\xE2\x80"), std::string::npos);
}

#if !defined(_WIN32)
// A named pipe where the host's log goes is refused at once, never opened; a run ended by a signal
// leaves no server folder of its own behind.
TEST_F(DevhostTest, NoHangOnAPipeNoFolderLeftAfterASignal) {
    // A server folder, log or temporary folder that cannot be used: a message and status 2, at once.
    const auto server = dir.path() / "server";
    const auto log = StandIn::HostLogFile(server);
    std::filesystem::create_directories(log.parent_path());
    ASSERT_EQ(TestSupport::RunCommand("mkfifo " + ShellQuoted(log.string())).status, 0);
    const auto devNullLog = StandIn::HostLogFile(dir.path() / "log-to-dev-null");
    std::filesystem::create_directories(devNullLog.parent_path());
    std::filesystem::create_symlink("/dev/null", devNullLog);
    TestSupport::WriteFile(dir.path() / "file", "");
    TestSupport::WriteFile(StandIn::HostLogFile(dir.path() / "logs-a-file").parent_path(), "");
    TestSupport::WriteFile(dir.path() / "api-a-file" / "ArkApi", "");
    const std::pair<std::string, std::string> unusable[] = {
        {"--server-dir " + ShellQuoted(server.string()), "is not a regular file"},
        {"--server-dir " + ShellQuoted((dir.path() / "log-to-dev-null").string()), "is not a regular file"},
        {"--server-dir " + ShellQuoted((dir.path() / "logs-a-file").string()), "Not a directory"},
        {"--server-dir " + ShellQuoted((dir.path() / "api-a-file").string()), "Not a directory"},
        {"--server-dir " + ShellQuoted((dir.path() / "file").string()), "as the server folder"},
    };
    for (const auto& [options, message] : unusable) {
        const auto run = TestSupport::RunCommand("timeout 20 " + ShellQuoted(LUMORA_DEVHOST_PATH) + " " + options +
                                                 " " + TestSupport::NoInput() + " 2>&1");
        EXPECT_EQ(run.status, 2) << options << ": " << run.output;
        EXPECT_THAT(run.output, HasSubstr(message)) << options;
    }
    const auto noTemp =
        TestSupport::RunCommand("TMPDIR=" + ShellQuoted((dir.path() / "file").string()) + " " +
                                ShellQuoted(LUMORA_DEVHOST_PATH) + " " + TestSupport::NoInput() + " 2>&1");
    EXPECT_EQ(noTemp.status, 2) << noTemp.output;
    EXPECT_THAT(noTemp.output, HasSubstr("cannot make a server folder"));

    // The folder goes by a process that outlives the run, whatever ended it: a signal (sent to that
    // process too where a stop by name would reach it), or a normal end with a thousand descriptors
    // inherited. (SIGINT alone cannot be sent here: a shell's background job ignores it.)
    const struct {
        const char* stop;
        bool toCleanupToo;
        bool manyDescriptors;
    } ends[] = {
        {"TERM", true, false}, {"HUP", true, false}, {"PIPE", false, false}, {"KILL", false, false}, {"", false, true}};
    for (const auto& end : ends) {
        const std::string stop = end.stop;
        const auto out = dir.path() / "out.txt";
        const auto run = TestSupport::RunCommand(
            "timeout 60 bash -c '" +
            std::string(end.manyDescriptors ? "for i in $(seq 3 1100); do eval \"exec $i>/dev/null\"; done; " : "") +
            "mkfifo \"$1.in\"; \"$0\" <\"$1.in\" >\"$1\" 2>&1 & pid=$!; exec 1101>\"$1.in\"; "
            "for i in $(seq 100); do grep -q \"server folder\" \"$1\" && break; sleep 0.1; done; " +
            (end.toCleanupToo ? "pkill -" + stop + " -P $pid; " : "") +
            (stop.empty() ? "" : "kill -" + stop + " $pid; ") +
            "exec 1101>&-; wait $pid; rm -f \"$1.in\"; "
            "sed -n \"s/^server folder: //p\" \"$1\"' " +
            ShellQuoted(LUMORA_DEVHOST_PATH) + " " + ShellQuoted(out.string()));
        const std::string signal = stop.empty() ? "a normal end" : stop;
        const std::filesystem::path folder = run.output.substr(0, run.output.find('\n'));
        ASSERT_FALSE(folder.empty()) << signal;
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            gone = !std::filesystem::exists(folder);
            if (!gone) {
                TestSupport::RunCommand("sleep 0.1");
            }
        }
        EXPECT_TRUE(gone) << signal << ": " << folder;
    }
}
#endif

}  // namespace
