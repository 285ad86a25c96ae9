#include "sim/process_heap.h"

#include "platform/wince.h"
#include "sim/device_work.h"
#include "sim/failure_injection.h"
#include "sim/handheld.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace sim {

// Kept in front of every host block: what was asked, the heap and the device
// it was charged to, and its neighbours in the heap's list.
struct alignas(std::max_align_t) ProcessHeap::BlockHeader {
    uint64_t bytes;
    HeapId heap;
    uint32_t generation;
    BlockHeader* previous;
    BlockHeader* next;
};

namespace {

uint64_t roundUp(uint64_t n, uint64_t unit) {
    return (n + unit - 1) / unit * unit;
}

} // namespace

ProcessHeap& ProcessHeap::get() {
    static ProcessHeap heap;
    return heap;
}

ProcessHeap::ProcessHeap() {
    heaps_[kProcessHeap] = Heap{};
}

uint64_t ProcessHeap::blockCost(uint32_t bytes) {
    return kBlockHeader + roundUp(std::max<uint64_t>(bytes, 1), kGranularity);
}

void* ProcessHeap::allocate(HeapId id, uint32_t bytes, bool zeroed) {
    auto found = heaps_.find(id);
    if (found == heaps_.end())
        return nullptr;
    Heap& heap = found->second;
    uint64_t cost = blockCost(bytes);
    // The heap's pages are reused; it grows only when its blocks need more of them.
    uint64_t committed = std::max(heap.committed, roundUp(heap.in_use + cost, kPageSize));
    uint64_t growth = committed - heap.committed;
    if (growth > 0 && charge && !charge(committed_ + growth))
        return nullptr;
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
    if (header == nullptr) {
        if (growth > 0 && charge)
            charge(committed_);
        return nullptr;
    }
    *header = {bytes, id, generation_, nullptr, heap.blocks};
    if (heap.blocks != nullptr)
        heap.blocks->previous = header;
    heap.blocks = header;
    if (zeroed)
        std::memset(header + 1, 0, bytes);
    heap.in_use += cost;
    heap.committed = committed;
    committed_ += growth;
    if (committed_ > high_water_)
        high_water_ = committed_;
    return header + 1;
}

void ProcessHeap::unlink(Heap& heap, BlockHeader* header) {
    if (header->previous != nullptr)
        header->previous->next = header->next;
    else
        heap.blocks = header->next;
    if (header->next != nullptr)
        header->next->previous = header->previous;
}

void ProcessHeap::release(void* block) {
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (header->generation == generation_) {
        auto found = heaps_.find(header->heap);
        if (found != heaps_.end()) {
            unlink(found->second, header);
            found->second.in_use -= blockCost(static_cast<uint32_t>(header->bytes));
        }
    }
    std::free(header);
}

bool ProcessHeap::heapOf(const void* block, HeapId* heap) const {
    const BlockHeader* header = static_cast<const BlockHeader*>(block) - 1;
    if (header->generation != generation_)
        return false;
    *heap = header->heap;
    return true;
}

ProcessHeap::HeapId ProcessHeap::createHeap() {
    HeapId id = next_heap_++;
    heaps_[id] = Heap{};
    return id;
}

bool ProcessHeap::destroyHeap(HeapId id) {
    auto found = heaps_.find(id);
    if (id == kProcessHeap || found == heaps_.end())
        return false;
    for (BlockHeader* header = found->second.blocks; header != nullptr;) {
        BlockHeader* next = header->next;
        std::free(header);
        header = next;
    }
    committed_ -= found->second.committed;
    heaps_.erase(found);
    if (charge)
        charge(committed_);
    return true;
}

uint64_t ProcessHeap::bytesInUse() const {
    uint64_t total = 0;
    for (const auto& [id, heap] : heaps_)
        total += heap.in_use;
    return total;
}

void ProcessHeap::reset() {
    // Blocks of the earlier device stay with their owners; their heaps are forgotten.
    heaps_.clear();
    heaps_[kProcessHeap] = Heap{};
    committed_ = 0;
    high_water_ = 0;
    charge = nullptr;
    ++generation_;
}

} // namespace sim

namespace ce {

namespace {

// Private heaps are named by handles that no pointer of the process has.
constexpr uintptr_t kHeapHandleBase = 0x4EA90000;

HANDLE heapHandle(sim::ProcessHeap::HeapId id) {
    return reinterpret_cast<HANDLE>(kHeapHandleBase + id);
}

bool heapIdOf(HANDLE heap, sim::ProcessHeap::HeapId* id) {
    uintptr_t value = reinterpret_cast<uintptr_t>(heap);
    if (value <= kHeapHandleBase || value - kHeapHandleBase > 0xFFFFFFFFu)
        return false;
    *id = static_cast<sim::ProcessHeap::HeapId>(value - kHeapHandleBase);
    return true;
}

void* heapBlock(sim::ProcessHeap::HeapId heap, UINT bytes, bool zeroed) {
    if (sim::injectFailure(sim::FallibleCall::LocalAlloc))
        return nullptr;
    void* block = sim::ProcessHeap::get().allocate(heap, bytes, zeroed);
    if (block == nullptr)
        sim::Handheld::get().last_error = ERROR_NOT_ENOUGH_MEMORY;
    return block;
}

} // namespace

HLOCAL LocalAlloc(UINT flags, UINT bytes) {
    return heapBlock(sim::ProcessHeap::kProcessHeap, bytes, (flags & LMEM_ZEROINIT) != 0);
}

HLOCAL LocalFree(HLOCAL block) {
    if (block != nullptr)
        sim::ProcessHeap::get().release(block);
    return nullptr;
}

HANDLE HeapCreate(DWORD, DWORD, DWORD) {
    sim::DeviceWork device_work;
    return heapHandle(sim::ProcessHeap::get().createHeap());
}

BOOL HeapDestroy(HANDLE heap) {
    sim::DeviceWork device_work;
    sim::ProcessHeap::HeapId id = 0;
    if (heapIdOf(heap, &id) && sim::ProcessHeap::get().destroyHeap(id))
        return TRUE;
    sim::Handheld::get().last_error = ERROR_INVALID_HANDLE;
    return FALSE;
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, DWORD bytes) {
    sim::ProcessHeap::HeapId id = 0;
    if (!heapIdOf(heap, &id) || !sim::ProcessHeap::get().hasHeap(id)) {
        sim::Handheld::get().last_error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return heapBlock(id, bytes, (flags & HEAP_ZERO_MEMORY) != 0);
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID block) {
    sim::ProcessHeap::HeapId id = 0;
    sim::ProcessHeap::HeapId owner = 0;
    if (block == nullptr)
        return TRUE;
    sim::ProcessHeap& heaps = sim::ProcessHeap::get();
    // A block of an earlier device is simply let go.
    if (heapIdOf(heap, &id) && (!heaps.heapOf(block, &owner) || owner == id)) {
        heaps.release(block);
        return TRUE;
    }
    sim::Handheld::get().last_error = ERROR_INVALID_PARAMETER;
    return FALSE;
}

} // namespace ce
