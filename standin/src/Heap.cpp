// The engine heap: every block is counted, and misuse is caught loudly.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "Internal.h"

namespace StandIn {
namespace {

// Blocks carry a header, so a block handed to the runtime's free() is not a pointer that free()
// ever returned: the C library (or AddressSanitizer) stops the process.
constexpr std::size_t HeaderSize = 16;
constexpr std::uint64_t Magic = 0x4C554D4F52414845ULL;

struct HeapState {
    std::mutex mutex;
    std::unordered_map<void*, std::uint64_t> live;
    HeapStats stats;
    bool fatal = true;
    bool record = false;
    std::vector<std::uint64_t> sizes;
};

HeapState& TheHeap() {
    static HeapState* heap = new HeapState;  // outlives every plugin's static state
    return *heap;
}

}  // namespace

void* EngineMalloc(std::uint64_t bytes, std::uint32_t /*alignment*/) {
    auto* base = static_cast<unsigned char*>(std::malloc(HeaderSize + (bytes == 0 ? 1 : bytes)));
    if (base == nullptr) {
        return nullptr;
    }
    std::memcpy(base, &Magic, sizeof Magic);
    void* block = base + HeaderSize;
    HeapState& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    heap.live.emplace(block, bytes);
    heap.stats.liveBlocks++;
    heap.stats.liveBytes += bytes;
    heap.stats.allocations++;
    if (heap.record) {
        heap.sizes.push_back(bytes);
    }
    return block;
}

void EngineFree(void* block) {
    if (block == nullptr) {
        return;
    }
    HeapState& heap = TheHeap();
    std::unique_lock lock(heap.mutex);
    auto it = heap.live.find(block);
    if (it == heap.live.end()) {
        heap.stats.misuses++;
        bool fatal = heap.fatal;
        lock.unlock();
        std::fprintf(
            stderr,
            "engine heap: FMemory::Free(%p) of a block that is not live (freed twice, or never allocated here)\n",
            block);
        if (fatal) {
            std::abort();
        }
        return;
    }
    heap.stats.liveBlocks--;
    heap.stats.liveBytes -= it->second;
    heap.stats.frees++;
    heap.live.erase(it);
    lock.unlock();
    std::free(static_cast<unsigned char*>(block) - HeaderSize);
}

void* EngineRealloc(void* block, std::uint64_t bytes, std::uint32_t alignment) {
    if (block == nullptr) {
        return EngineMalloc(bytes, alignment);
    }
    if (bytes == 0) {
        EngineFree(block);
        return nullptr;
    }
    std::uint64_t old = 0;
    {
        HeapState& heap = TheHeap();
        std::lock_guard lock(heap.mutex);
        auto it = heap.live.find(block);
        old = it == heap.live.end() ? 0 : it->second;
    }
    void* moved = EngineMalloc(bytes, alignment);
    if (moved != nullptr) {
        std::memcpy(moved, block, static_cast<std::size_t>(old < bytes ? old : bytes));
        EngineFree(block);
    }
    return moved;
}

HeapStats Heap() {
    auto& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    return heap.stats;
}

void SetHeapMisuseFatal(bool fatal) {
    auto& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    heap.fatal = fatal;
}

void RecordAllocationSizes(bool record) {
    auto& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    heap.record = record;
    heap.sizes.clear();
}

std::vector<std::uint64_t> TakeAllocationSizes() {
    auto& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    return std::exchange(heap.sizes, {});
}

}  // namespace StandIn
