#include "sim/process_heap.h"

#include "platform/wince.h"
#include "sim/failure_injection.h"
#include "sim/handheld.h"

#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

// Kept in front of every block: its size and the device it was charged to.
struct alignas(std::max_align_t) BlockHeader {
    uint64_t bytes;
    uint32_t generation;
};

BlockHeader* headerOf(void* block) {
    return static_cast<BlockHeader*>(block) - 1;
}

} // namespace

ProcessHeap& ProcessHeap::get() {
    static ProcessHeap heap;
    return heap;
}

void* ProcessHeap::allocate(uint32_t bytes, bool zeroed) {
    if (charge && !charge(in_use_ + bytes))
        return nullptr;
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
    if (header == nullptr)
        return nullptr;
    header->bytes = bytes;
    header->generation = generation_;
    if (zeroed)
        std::memset(header + 1, 0, bytes);
    in_use_ += bytes;
    if (in_use_ > high_water_)
        high_water_ = in_use_;
    return header + 1;
}

void ProcessHeap::release(void* block) {
    BlockHeader* header = headerOf(block);
    bool this_device = header->generation == generation_;
    if (this_device)
        in_use_ -= header->bytes;
    std::free(header);
    if (this_device && charge)
        charge(in_use_);
}

void ProcessHeap::reset() {
    in_use_ = 0;
    high_water_ = 0;
    charge = nullptr;
    ++generation_;
}

} // namespace sim

namespace ce {

HLOCAL LocalAlloc(UINT flags, UINT bytes) {
    if (sim::injectFailure(sim::FallibleCall::LocalAlloc))
        return nullptr;
    void* block = sim::ProcessHeap::get().allocate(bytes, (flags & LMEM_ZEROINIT) != 0);
    if (block == nullptr)
        sim::Handheld::get().last_error = ERROR_NOT_ENOUGH_MEMORY;
    return block;
}

HLOCAL LocalFree(HLOCAL block) {
    if (block != nullptr)
        sim::ProcessHeap::get().release(block);
    return nullptr;
}

} // namespace ce
