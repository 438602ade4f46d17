// The host's log: its sinks (console, rotating file, and the records that tests and tools read)
// and the log events of the stream.

#include <filesystem>
#include <mutex>
#include <utility>

#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include "Internal.h"

namespace StandIn {

// The sink that tests and tools read.
class MemorySink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::vector<LogRecord> Records() {
        std::lock_guard lock(mutex_);
        return records;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        records.clear();
    }
    std::uint64_t Flushes() {
        std::lock_guard lock(mutex_);
        return flushes;
    }
    std::vector<Event> TakePending() {
        std::lock_guard lock(mutex_);
        return std::exchange(pending, {});
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        spdlog::memory_buf_t formatted;
        formatter_->format(msg, formatted);
        std::string line(formatted.data(), formatted.size());
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        LogRecord record{std::string(msg.logger_name.data(), msg.logger_name.size()),
                         std::string(spdlog::level::to_string_view(msg.level).data(),
                                     spdlog::level::to_string_view(msg.level).size()),
                         std::string(msg.payload.data(), msg.payload.size()), line};
        Keep(records, record);
        Event event;
        event.kind = Event::Kind::Log;
        event.text = record.message;
        event.extra = record.line;
        event.level = record.level;
        event.result = true;
        pending.push_back(event);
    }
    void flush_() override { flushes++; }

private:
    std::vector<LogRecord> records;
    std::uint64_t flushes = 0;
    std::vector<Event> pending;
};

std::shared_ptr<MemorySink>& Memory() {
    static auto* sink = new std::shared_ptr<MemorySink>(std::make_shared<MemorySink>());
    return *sink;
}

namespace {

void EmitPendingLogEvents() {
    for (const auto& event : Memory()->TakePending()) {
        Emit(event);
    }
}

// Log events are emitted by a sink that sits after the memory sink, so they come out in order.
class EventSink final : public spdlog::sinks::base_sink<spdlog::details::null_mutex> {
protected:
    void sink_it_(const spdlog::details::log_msg&) override { EmitPendingLogEvents(); }
    void flush_() override {}
};

}  // namespace

void StartLog(const HostOptions& options) {
    auto& state = State();
    state.sinks.clear();
    if (options.consoleSink) {
        state.sinks.push_back(std::make_shared<spdlog::sinks::stdout_sink_mt>());
    }
    if (options.fileSink) {
        state.logFile = HostLogFile(state.serverDir);
        state.sinks.push_back(LogFileSink(state.logFile, 1024 * 1024, 5));
    }
    Memory() = std::make_shared<MemorySink>();
    state.sinks.push_back(Memory());
    state.sinks.push_back(std::make_shared<EventSink>());
    // The host's own logger is named "API": its lines read "[API][info] ...".
    state.hostLog = std::make_shared<spdlog::logger>("API", state.sinks.begin(), state.sinks.end());
    state.hostLog->flush_on(spdlog::level::info);
}

void StopLog() {
    auto& state = State();
    state.hostLog.reset();
    state.sinks.clear();
    state.logFile.clear();
}

void HostError(const std::string& message) {
    auto& state = State();
    if (state.hostLog) {
        state.hostLog->error(message);
    }
}

std::filesystem::path LogFilePath() { return State().logFile; }
std::vector<LogRecord> LogRecords() { return Memory()->Records(); }

void HostLog(const std::string& message) {
    if (State().hostLog) {
        State().hostLog->info(message);
    }
}
void ClearLog() { Memory()->Clear(); }
std::uint64_t LogFlushCount() { return Memory()->Flushes(); }

}  // namespace StandIn

std::vector<spdlog::sink_ptr>& GetLogSinks() {
    auto& state = StandIn::State();
    if (state.sinks.empty()) {
        state.sinks.push_back(StandIn::Memory());
    }
    return state.sinks;
}
