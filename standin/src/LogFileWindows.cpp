// The host's log file on Windows: spdlog's own rotating file, as the host has it.

#include <spdlog/sinks/rotating_file_sink.h>

#include "Internal.h"

namespace StandIn {

std::shared_ptr<spdlog::sinks::sink> LogFileSink(const std::filesystem::path& path, std::size_t maxBytes,
                                                 int keptFiles) {
    return std::make_shared<spdlog::sinks::rotating_file_sink_mt>(path.string(), maxBytes,
                                                                  static_cast<std::size_t>(keptFiles));
}

}  // namespace StandIn
