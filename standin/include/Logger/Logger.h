#pragma once
// A plugin's log channel over the host's sinks.

#include <memory>
#include <string>
#include <vector>

#include <spdlog/sinks/sink.h>
#include <spdlog/spdlog.h>

#include "API/Base.h"

ARK_API std::vector<spdlog::sink_ptr>& APIENTRY GetLogSinks();

class Log {
public:
    Log(const Log&) = delete;
    Log(Log&&) = delete;
    Log& operator=(const Log&) = delete;
    Log& operator=(Log&&) = delete;

    static Log& Get() {
        static Log instance;
        return instance;
    }

    static std::shared_ptr<spdlog::logger>& GetLog() { return Get().logger_; }

    // A new logger named plugin_name over a copy of the host's sinks, flushed at info and above.
    void Init(const std::string& plugin_name) {
        const auto& sinks = GetLogSinks();
        logger_ = std::make_shared<spdlog::logger>(plugin_name, sinks.begin(), sinks.end());
        // Each sink makes the formatter with its own code, so nothing in the host's sinks points
        // into a plugin once it is unloaded.
        for (const auto& sink : logger_->sinks()) {
            sink->set_pattern("%D %R [%n][%l] %v");
        }
        logger_->flush_on(spdlog::level::info);
    }

private:
    Log() = default;
    ~Log() = default;

    std::shared_ptr<spdlog::logger> logger_;
};
