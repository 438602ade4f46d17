// The host's log class as the stand-in has it: the plugin's name twice, the pattern in local time,
// flushed on every line.

#include <ctime>
#include <fstream>
#include <regex>

#include <gmock/gmock.h>

#include "host/PluginLog.h"
#include "support/TestSupport.h"

using namespace Lumora;
using TestSupport::HostTest;

namespace {

std::string LocalStamp(std::time_t when) {
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%m/%d/%y %H:%M", &local);
    return buffer;
}

class StandInLogTest : public HostTest {};

TEST_F(StandInLogTest, LinesReachTheHostSinksFormattedAndFlushed) {
    Log::Get().Init(PluginName);
    struct Case {
        spdlog::level::level_enum level;
        const char* name;
        std::string message;
    } cases[] = {{spdlog::level::info, "info", "Lumora: 'Ünï' applied the Low preset (25 commands)"},
                 {spdlog::level::warn, "warning", "Lumora: using built-in defaults"},
                 {spdlog::level::err, "error", "Lumora: invalid configuration: {} \"Ünï\""}};
    for (const auto& c : cases) {
        StandIn::ClearLog();
        auto flushes = StandIn::LogFlushCount();
        std::time_t before = std::time(nullptr);
        Log::GetLog()->log(c.level, "{}", c.message);
        std::time_t after = std::time(nullptr);
        EXPECT_GT(StandIn::LogFlushCount(), flushes) << "flushed before the write returns";
        auto records = StandIn::LogRecords();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].logger, "Lumora");
        EXPECT_EQ(records[0].level, c.name);
        const std::string suffix = std::string(" [Lumora][") + c.name + "] " + c.message;
        const std::string& line = records[0].line;
        ASSERT_GT(line.size(), suffix.size());
        EXPECT_EQ(line.substr(line.size() - suffix.size()), suffix);
        std::string stamp = line.substr(0, line.size() - suffix.size());
        EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d)"))) << stamp;
        EXPECT_TRUE(stamp == LocalStamp(before) || stamp == LocalStamp(after)) << stamp;
    }
}

TEST_F(StandInLogTest, TheFileSinkGetsTheSameLine) {
    Log::Get().Init(PluginName);
    Log::GetLog()->info("{} unloaded", PluginName);
    std::ifstream file(StandIn::LogFilePath());
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_THAT(content, ::testing::HasSubstr("[Lumora][info] Lumora unloaded\n"));
}

TEST_F(StandInLogTest, ANewChannelReplacesTheOldOne) {
    Log::Get().Init(PluginName);
    std::weak_ptr<spdlog::logger> first = Log::GetLog();
    Log::Get().Init(PluginName);
    EXPECT_TRUE(first.expired()) << "the channel is the logger's only owner";
    ASSERT_TRUE(Log::GetLog());
    EXPECT_EQ(Log::GetLog()->name(), "Lumora");
    EXPECT_EQ(Log::GetLog()->flush_level(), spdlog::level::info);
    EXPECT_EQ(Log::GetLog()->level(), spdlog::level::info);
}

}  // namespace
