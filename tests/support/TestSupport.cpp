#include "support/TestSupport.h"

#include <atomic>
#include <fstream>
#include <random>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace TestSupport {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("lumora-test-" + std::to_string(random()) + "-" +
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

#if defined(_WIN32)
void* OpenLibrary(const std::filesystem::path& path) { return reinterpret_cast<void*>(LoadLibraryW(path.c_str())); }
void* LibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
bool CloseLibrary(void* library) { return FreeLibrary(static_cast<HMODULE>(library)) != 0; }
bool LibraryLoaded(const std::filesystem::path& path) { return GetModuleHandleW(path.c_str()) != nullptr; }
void* ProcessSymbol(const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), name));
}
#else
void* OpenLibrary(const std::filesystem::path& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* LibrarySymbol(void* library, const char* name) { return dlsym(library, name); }
bool CloseLibrary(void* library) { return dlclose(library) == 0; }
bool LibraryLoaded(const std::filesystem::path& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}
void* ProcessSymbol(const char* name) { return dlsym(RTLD_DEFAULT, name); }
#endif

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace TestSupport
