#include "support/TestSupport.h"

#include <atomic>
#include <fstream>
#include <random>

#include <unistd.h>

namespace TestSupport {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("lumora-test-" + std::to_string(::getpid()) + "-" +
                                                      std::to_string(counter++) + "-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void HostTest::SetUp() {
    StandIn::StartHost({server.path(), false, true});
    heapAtStart = StandIn::Heap();
}

void HostTest::TearDown() {
    StandIn::StopHost();
    if (checkHeap) {
        auto heap = StandIn::Heap();
        EXPECT_EQ(heap.liveBlocks, heapAtStart.liveBlocks) << "engine blocks left behind";
        EXPECT_EQ(heap.liveBytes, heapAtStart.liveBytes);
        EXPECT_EQ(heap.misuses, heapAtStart.misuses);
    }
}

std::vector<std::string> HostTest::Messages(const std::string& logger) {
    std::vector<std::string> messages;
    for (const auto& record : StandIn::LogRecords()) {
        if (record.logger == logger) {
            messages.push_back(record.message);
        }
    }
    return messages;
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace TestSupport
