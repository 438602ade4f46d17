// The host's log file on POSIX.

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <spdlog/sinks/base_sink.h>

#include "Internal.h"

namespace StandIn {

namespace {

// The host's rotating log file. Opened once, without blocking, and used only
// when what was opened is a regular file: a named pipe put there would block the start for ever.
class RotatingLogFile final : public spdlog::sinks::base_sink<std::mutex> {
public:
    RotatingLogFile(std::filesystem::path path, std::size_t maxBytes, int keptFiles)
        : path_(std::move(path)), maxBytes_(maxBytes), keptFiles_(keptFiles) {
        std::filesystem::create_directories(path_.parent_path());
        Open();
    }
    ~RotatingLogFile() override { close(file_); }
    RotatingLogFile(const RotatingLogFile&) = delete;
    RotatingLogFile& operator=(const RotatingLogFile&) = delete;

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

}  // namespace

std::shared_ptr<spdlog::sinks::sink> LogFileSink(const std::filesystem::path& path, std::size_t maxBytes,
                                                 int keptFiles) {
    return std::make_shared<RotatingLogFile>(path, maxBytes, keptFiles);
}

}  // namespace StandIn
