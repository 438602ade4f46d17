#include "plugin/PluginLog.h"

#include <string>

#include <spdlog/pattern_formatter.h>

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
    logger->set_pattern("%D %R [%n][%l] %v", spdlog::pattern_time_type::local);
    logger->flush_on(spdlog::level::info);
}

}  // namespace Lumora
