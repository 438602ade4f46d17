#pragma once
// The plugin's log channel: a logger of its own over the host's sinks.

#include <cstdint>
#include <memory>
#include <utility>

#include <spdlog/logger.h>

namespace Lumora {

inline constexpr char PluginName[] = "Lumora";

// The one owner of the plugin's logger; empty until Plugin_Init makes it.
std::shared_ptr<spdlog::logger>& PluginLogHolder();

// Makes a new logger over a copy of the host's sinks and stores it in the holder.
void CreatePluginLog();

// Writes one line through the channel. Before the channel exists the line is dropped.
template <typename... Args>
void WriteLog(spdlog::level::level_enum level, spdlog::format_string_t<Args...> format, Args&&... args) {
    if (const auto& log = PluginLogHolder()) {
        log->log(level, format, std::forward<Args>(args)...);
    }
}

}  // namespace Lumora
