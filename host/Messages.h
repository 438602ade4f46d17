#pragma once
// Every fixed chat reply and every line the plugin logs, with its level, once: the code sends and
// writes these, and the tests hold the admin guide's tables to them. Configurable replies are keys
// of config.json instead.

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

#include <Logger/Logger.h>

#include "generated/Version.h"

namespace Lumora {

inline constexpr char PluginName[] = LUMORA_NAME;

// ---- fixed replies -------------------------------------------------------------------------------

// Each fixed reply is declared here only: its name in FixedReply, its text in FixedReplies at that
// place. A name without its text fails to compile.
enum class FixedReply { NoActivePreset, ActivePresetPrefix, PresetNotAvailable, PresetFailed, BaselineFailed, Count };
inline constexpr std::string_view FixedReplies[] = {
    "No Lumora preset is active. /fps on uses the configured default.",
    "Active Lumora preset: ",  // then "Medium."
    "That performance preset is not available. Check config.json.",
    "Unable to apply the performance preset; check the server API log.",
    "Unable to apply the baseline; check the server API log.",
};
static_assert(std::size(FixedReplies) == static_cast<std::size_t>(FixedReply::Count),
              "a FixedReply without its text in FixedReplies, or a text without its name");

inline std::string ReplyText(FixedReply reply) { return std::string(FixedReplies[static_cast<std::size_t>(reply)]); }

// ---- log lines -----------------------------------------------------------------------------------

enum class LogLevel { Info, Warning, Error };

// A line's format: its first "{}" is PluginName.
struct LogLine {
    const char* format;
    LogLevel level;
};

inline constexpr LogLine LoadedLine{"{} {} loaded for ASAAPI {} ({} chat aliases, default {}, baseline {} commands)",
                                    LogLevel::Info};
inline constexpr LogLine InvalidConfigurationLine{"{}: invalid configuration: {}", LogLevel::Error};
inline constexpr LogLine BuiltInDefaultsLine{"{}: using built-in defaults", LogLevel::Warning};
inline constexpr LogLine NoLogoutHookLine{"{}: logout cleanup hook was not installed", LogLevel::Warning};
inline constexpr LogLine PresetAppliedLine{"{}: '{}' applied the {} preset ({} commands)", LogLevel::Info};
inline constexpr LogLine BaselineAppliedLine{"{}: '{}' applied the configured baseline ({} commands)", LogLevel::Info};
inline constexpr LogLine NoRemoteCallLine{
    "{}: ClientRunLocalConsoleCommand RPC was not found; client command was not sent", LogLevel::Error};
inline constexpr LogLine UnloadedLine{"{} unloaded", LogLevel::Info};
// "start-up", "unload" or "the fps command", and the reason.
inline constexpr LogLine FailedLine{"{}: {} failed: {}", LogLevel::Error};

inline constexpr const LogLine* LogLines[] = {
    &LoadedLine,          &InvalidConfigurationLine, &BuiltInDefaultsLine, &NoLogoutHookLine, &PresetAppliedLine,
    &BaselineAppliedLine, &NoRemoteCallLine,         &UnloadedLine,        &FailedLine};

constexpr bool IsListed(const LogLine& line) {
    for (const LogLine* listed : LogLines) {
        if (listed == &line) {
            return true;
        }
    }
    return false;
}

// Writes Line through the plugin's channel at its level, PluginName first; nothing without a channel
// (before the first start).
template <const LogLine& Line, typename... Args>
void WriteLog(const Args&... args) {
    // The guide's table of log lines and the tests hold the lines of LogLines only.
    static_assert(IsListed(Line), "a log line written with WriteLog is not in LogLines");
    const auto& log = Log::GetLog();
    if (!log) {
        return;
    }
    if constexpr (Line.level == LogLevel::Info) {
        log->info(Line.format, PluginName, args...);
    } else if constexpr (Line.level == LogLevel::Warning) {
        log->warn(Line.format, PluginName, args...);
    } else {
        log->error(Line.format, PluginName, args...);
    }
}

}  // namespace Lumora
