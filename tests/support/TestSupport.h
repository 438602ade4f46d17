#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "AsaApiStandIn/Control.h"

namespace Lumora {
struct LogLine;
}

namespace TestSupport {

// A fresh folder of its own under the system's temporary folder, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Starts the stand-in host in a server folder of its own, and checks at the end that the engine
// heap is exactly as it was at the start, and that every line the plugin wrote had its level.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The log lines of one logger, as the sink formatted their messages.
    static std::vector<std::string> Messages(const std::string& logger = "Lumora");
    // A plugin loaded and unloaded as the host's plugins.load (or HOW) and plugins.unload do; the
    // test fails when the host refuses.
    static void Load(const std::string& name = "Lumora", StandIn::PluginLoad how = StandIn::PluginLoad::Command);
    static void Unload(const std::string& name = "Lumora");
    // The chat lines delivered to players since the last call, which are then forgotten.
    static std::vector<StandIn::ChatLine> TakeChatLines();

    TempDir server;
    StandIn::HeapStats heapAtStart;
    bool checkHeap = true;
};

// An engine string's UTF-16 units, for comparison with a u"" literal.
inline std::u16string Units(const FString& text) { return std::u16string(reinterpret_cast<const char16_t*>(*text)); }

void WriteFile(const std::filesystem::path& path, const std::string& content);
// The whole file, byte for byte; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
// Makes a symbolic link and checks that it is there: empty when it is, else why the system made
// none (Windows needs a privilege or developer mode; wine's library may report success and make
// nothing). A row that needs a link skips with that reason, never passing or failing without one.
std::string MakeSymlink(const std::filesystem::path& target, const std::filesystem::path& link);
// The host's log file as lines, without their line ends ("\n", or "\r\n" on Windows). Fails the
// test unless the file is valid UTF-8, and every line is under 2 KB with no control character.
std::vector<std::string> SafeLogFileLines();
// Copies a plugin library to ArkApi/Plugins/NAME/NAME.so (.dll) under the server folder, where the
// host loads it from; returns that path.
std::filesystem::path InstallPlugin(const std::filesystem::path& serverDir, const std::string& name,
                                    const std::filesystem::path& library);

// A symbol of the program itself (the stand-in's OpenLibrary and FindSymbol reach a library's).
void* ProcessSymbol(const char* name);
std::string Utf8(const std::filesystem::path& path);

// An environment variable's value, "" when it is not set (MSVC's runtime deprecates std::getenv).
std::string EnvironmentVariable(const char* name);

// The text with every "\r\n" as "\n": what a program writes in text mode on Windows, as here.
std::string WithUnixLineEnds(std::string text);
// A command line run by the system's shell: its exit code (128 + the signal's number for a program
// a signal ended) and what it wrote to standard output, with Unix line ends.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::string& command);
// A program run by the system's shell with arguments (quoted already) and no input: its exit code,
// standard output and standard error (through errFile), with Unix line ends. before: what the shell
// runs first, assignments or commands (POSIX shells only).
struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;
};
ToolResult RunTool(const std::string& program, const std::string& arguments, const std::filesystem::path& errFile,
                   const std::string& before = "");
// One argument quoted for the system's shell (paths with spaces, quotes or non-ASCII bytes).
std::string ShellQuoted(const std::string& text);
// The shell's redirection of standard input from the null device.
std::string NoInput();

// The plugin's log line that message is, by the shapes of the lines the plugin writes (null for a
// line it never writes), and that line's level: "info", "warning", "error", or "".
const Lumora::LogLine* LogLineOf(std::string_view message);
std::string ExpectedLevel(const std::string& message);

}  // namespace TestSupport
