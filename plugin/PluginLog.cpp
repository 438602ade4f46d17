#include "plugin/PluginLog.h"

#include <string>

#include "AsaApi/AsaApi.h"

namespace Lumora {

std::shared_ptr<spdlog::logger>& PluginLogHolder() {
    // Made on first use, safely against two threads; released at library detach before the rest.
    static std::shared_ptr<spdlog::logger> holder;
    return holder;
}

void CreatePluginLog() {
    const std::vector<spdlog::sink_ptr>& hostSinks = GetLogSinks();
    auto logger = std::make_shared<spdlog::logger>(std::string(PluginName), hostSinks.begin(), hostSinks.end());
    PluginLogHolder() = logger;
    // The same as setting the logger's pattern in local time, but each of the host's sinks makes the
    // formatter with its own code: once this library is unloaded, the host's sinks must hold no
    // object whose code was in it.
    for (const auto& sink : logger->sinks()) {
        sink->set_pattern("%D %R [%n][%l] %v");
    }
    logger->flush_on(spdlog::level::info);
}

}  // namespace Lumora
