// The host's log: its sinks (console, rotating file, and the records that tests and tools read)
// and the log events of the stream.

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <utility>

#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
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

#if !defined(_WIN32)
// The host's rotating log file. Opened once, without blocking, and used only
// when what was opened is a regular file: a named pipe put there would block the start for ever.
class LogFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    LogFileSink(std::filesystem::path path, std::size_t maxBytes, int keptFiles)
        : path_(std::move(path)), maxBytes_(maxBytes), keptFiles_(keptFiles) {
        std::filesystem::create_directories(path_.parent_path());
        Open();
    }
    ~LogFileSink() override { close(file_); }
    LogFileSink(const LogFileSink&) = delete;
    LogFileSink& operator=(const LogFileSink&) = delete;

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        spdlog::memory_buf_t formatted;
        formatter_->format(msg, formatted);
        if (size_ > 0 && size_ + formatted.size() > maxBytes_) {
            Rotate();
        }
        for (std::size_t done = 0; done < formatted.size();) {
            const ssize_t wrote = write(file_, formatted.data() + done, formatted.size() - done);
            if (wrote <= 0) {
                throw spdlog::spdlog_ex("cannot write the host's log file " + path_.string(), errno);
            }
            done += static_cast<std::size_t>(wrote);
        }
        size_ += formatted.size();
    }
    void flush_() override {}

private:
    void Open() {
        file_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
        struct stat status {};
        if (file_ < 0) {
            const int failed = errno;  // a named pipe with no reader: ENXIO
            if (stat(path_.c_str(), &status) != 0 || S_ISREG(status.st_mode)) {
                throw spdlog::spdlog_ex("cannot open the host's log file " + path_.string(), failed);
            }
        } else if (fstat(file_, &status) != 0 || !S_ISREG(status.st_mode)) {
            close(file_);
            file_ = -1;
        }
        if (file_ < 0) {
            throw spdlog::spdlog_ex("the host's log file " + path_.string() + " is not a regular file");
        }
        fcntl(file_, F_SETFL, fcntl(file_, F_GETFL) & ~O_NONBLOCK);
        size_ = static_cast<std::size_t>(status.st_size);
    }
    // ArkApi.log becomes ArkApi.1.log, that one ArkApi.2.log, and so on; the oldest goes.
    void Rotate() {
        close(file_);
        const auto numbered = [this](int i) {
            if (i == 0) {
                return path_;
            }
            return path_.parent_path() / (path_.stem().string() + "." + std::to_string(i) + path_.extension().string());
        };
        for (int i = keptFiles_; i > 0; --i) {
            std::error_code ignored;
            std::filesystem::rename(numbered(i - 1), numbered(i), ignored);
        }
        Open();
    }

    std::filesystem::path path_;
    std::size_t maxBytes_;
    int keptFiles_;
    int file_ = -1;
    std::size_t size_ = 0;
};
#endif

void StartLog(const HostOptions& options) {
    auto& state = State();
    state.sinks.clear();
    if (options.consoleSink) {
        state.sinks.push_back(std::make_shared<spdlog::sinks::stdout_sink_mt>());
    }
    if (options.fileSink) {
        state.logFile = HostLogFile(state.serverDir);
#if defined(_WIN32)
        state.sinks.push_back(
            std::make_shared<spdlog::sinks::rotating_file_sink_mt>(state.logFile.string(), 1024 * 1024, 5));
#else
        state.sinks.push_back(std::make_shared<LogFileSink>(state.logFile, 1024 * 1024, 5));
#endif
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
