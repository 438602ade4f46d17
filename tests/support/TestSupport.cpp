#include "support/TestSupport.h"

#include "generated/Version.h"
#include "host/Messages.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string_view>

#include <spdlog/sinks/base_sink.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/wait.h>
#endif

namespace TestSupport {

std::string ExpectedLevel(const std::string& message);

TempDir::TempDir() : path_(StandIn::NewServerFolder("lumora-test")) {}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {

// True when text is pieces[0], then anything, then pieces[1], ... then the last piece: literal
// pieces only, so that a line of a megabyte costs one pass (a regular expression recurses once a
// character, and overflows the stack). One piece: the whole text.
bool Shaped(std::string_view text, const std::vector<std::string_view>& pieces) {
    if (pieces.size() == 1) {
        return text == pieces[0];
    }
    if (text.size() < pieces.front().size() + pieces.back().size() || !text.starts_with(pieces.front()) ||
        !text.ends_with(pieces.back())) {
        return false;
    }
    std::size_t at = pieces.front().size();
    const std::size_t end = text.size() - pieces.back().size();
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        at = text.substr(0, end).find(pieces[i], at);
        if (at == std::string_view::npos) {
            return false;
        }
        at += pieces[i].size();
    }
    return true;
}

class LevelCheckSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::vector<std::string> TakeFaults() {
        std::lock_guard lock(mutex_);
        return std::exchange(faults, {});
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        if (std::string(msg.logger_name.data(), msg.logger_name.size()) != "Lumora") {
            return;
        }
        const std::string message(msg.payload.data(), msg.payload.size());
        const auto written = spdlog::level::to_string_view(msg.level);
        const std::string expected = ExpectedLevel(message);
        if (expected != std::string(written.data(), written.size())) {
            faults.push_back("[" + std::string(written.data(), written.size()) + "] " + message +
                             (expected.empty() ? " (not a line of the plugin)" : " (must be " + expected + ")"));
        }
    }
    void flush_() override {}

private:
    std::vector<std::string> faults;
};

std::shared_ptr<LevelCheckSink>& LevelCheck() {
    static auto* sink = new std::shared_ptr<LevelCheckSink>(std::make_shared<LevelCheckSink>());
    return *sink;
}

}  // namespace

const Lumora::LogLine* LogLineOf(std::string_view message) {
    for (const Lumora::LogLine* line : Lumora::LogLines) {
        // The format's pieces between its "{}", the first of which is the plugin's name.
        std::string format = line->format;
        format.replace(format.find("{}"), 2, Lumora::PluginName);
        std::vector<std::string> texts;
        for (std::size_t from = 0;;) {
            const std::size_t at = format.find("{}", from);
            texts.push_back(format.substr(from, at - from));
            if (at == std::string::npos) {
                break;
            }
            from = at + 2;
        }
        if (Shaped(message, std::vector<std::string_view>(texts.begin(), texts.end()))) {
            return line;
        }
    }
    return nullptr;
}

std::string ExpectedLevel(const std::string& message) {
    const Lumora::LogLine* line = LogLineOf(message);
    if (line == nullptr) {
        return "";
    }
    switch (line->level) {
        case Lumora::LogLevel::Info:
            return "info";
        case Lumora::LogLevel::Warning:
            return "warning";
        case Lumora::LogLevel::Error:
            return "error";
    }
    return "";
}

void HostTest::SetUp() {
    StandIn::StartHost({server.path(), false, true});
    LevelCheck()->TakeFaults();
    GetLogSinks().push_back(LevelCheck());
    heapAtStart = StandIn::Heap();
}

void HostTest::TearDown() {
    EXPECT_THAT(LevelCheck()->TakeFaults(), ::testing::IsEmpty()) << "lines at the wrong level";
    StandIn::StopHost();
    if (checkHeap) {
        auto heap = StandIn::Heap();
        EXPECT_EQ(heap.liveBlocks, heapAtStart.liveBlocks) << "engine blocks left behind";
        EXPECT_EQ(heap.liveBytes, heapAtStart.liveBytes);
        EXPECT_EQ(heap.misuses, heapAtStart.misuses);
    }
}

std::vector<std::string> HostTest::Messages(const std::string& logger) {
    std::vector<std::string> messages;
    for (const auto& record : StandIn::LogRecords()) {
        if (record.logger == logger) {
            messages.push_back(record.message);
        }
    }
    return messages;
}

void* ProcessSymbol(const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), name));
#else
    return dlsym(RTLD_DEFAULT, name);
#endif
}

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::vector<std::string> SafeLogFileLines() {
    const std::string content = ReadFile(StandIn::LogFilePath());
    EXPECT_EQ(StandIn::ToUtf8(StandIn::ToUtf16(content)), content) << "every byte of the log is valid UTF-8";
    std::vector<std::string> lines;
    std::istringstream stream(content);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        EXPECT_LT(line.size(), 2048u);
        EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        })) << line;
        lines.push_back(line);
    }
    return lines;
}

std::filesystem::path InstallPlugin(const std::filesystem::path& serverDir, const std::string& name,
                                    const std::filesystem::path& library) {
    std::error_code error;
    const auto installed = StandIn::InstallPlugin(serverDir, name, library, error);
    EXPECT_FALSE(error) << "could not install " << library << ": " << error.message();
    return installed;
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::string MakeSymlink(const std::filesystem::path& target, const std::filesystem::path& link) {
    std::error_code error;
    if (std::filesystem::is_directory(target, error)) {
        std::filesystem::create_directory_symlink(target, link, error);  // Windows tells the two kinds apart
    } else {
        std::filesystem::create_symlink(target, link, error);
    }
    if (error) {
        return "no symbolic link made: " + error.message();
    }
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(link, error))) {
        return "no symbolic link made, though the system reported one";
    }
    return "";
}

void HostTest::Load(const std::string& name, StandIn::PluginLoad how) {
    std::string error;
    ASSERT_TRUE(StandIn::LoadPlugin(name, error, how)) << error;
}

void HostTest::Unload(const std::string& name) {
    std::string error;
    ASSERT_TRUE(StandIn::UnloadPlugin(name, error)) << error;
}

std::vector<StandIn::ChatLine> HostTest::TakeChatLines() {
    std::vector<StandIn::ChatLine> lines = StandIn::ChatLines();
    StandIn::ClearChatLines();
    return lines;
}

std::string EnvironmentVariable(const char* name) {
#if defined(_WIN32)
    std::string value(32767, '\0');  // the longest a Windows environment variable can be
    value.resize(GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
#else
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
#endif
}

std::string WithUnixLineEnds(std::string text) {
    for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

CommandResult RunCommand(const std::string& command) {
#if defined(_WIN32)
    // cmd.exe /c drops the first and the last quote of a line that starts with one: a pair
    // around the whole keeps every argument's own quotes.
    FILE* pipe = _popen(("\"" + command + "\"").c_str(), "r");
#else
    FILE* pipe = popen(command.c_str(), "r");
#endif
    CommandResult result;
    if (pipe == nullptr) {
        return result;
    }
    char buffer[65536];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        result.output.append(buffer, read);
    }
#if defined(_WIN32)
    result.status = _pclose(pipe);
#else
    const int status = pclose(pipe);
    // A program a signal ended as a shell reports it.
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
#endif
    result.output = WithUnixLineEnds(std::move(result.output));
    return result;
}

ToolResult RunTool(const std::string& program, const std::string& arguments, const std::filesystem::path& errFile,
                   const std::string& before) {
    auto run = RunCommand(before + ShellQuoted(program) + " " + arguments + " 2>" + ShellQuoted(errFile.string()) +
                          " " + NoInput());
    return {run.status, std::move(run.output), WithUnixLineEnds(ReadFile(errFile))};
}

std::string ShellQuoted(const std::string& text) {
#if defined(_WIN32)
    return "\"" + text + "\"";
#else
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
#endif
}

std::string NoInput() {
#if defined(_WIN32)
    return "<NUL";
#else
    return "</dev/null";
#endif
}

}  // namespace TestSupport
