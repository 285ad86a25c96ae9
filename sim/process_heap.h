// The loader process's heaps on the simulated handheld: the process heap
// (LocalAlloc) and the heaps it makes of its own (HeapCreate). They charge
// program memory as a Windows CE heap does: every block takes a header and is
// rounded up, and a heap grows in whole committed pages that it keeps until
// it is destroyed (the process heap, never), reusing their room for later
// blocks. On the device a heap is program memory like committed pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>

namespace sim {

class ProcessHeap {
  public:
    using HeapId = uint32_t;
    static constexpr HeapId kProcessHeap = 0;
    // What a block costs beyond its bytes: the heap's header before it, and
    // its size rounded up to the heap's granularity.
    static constexpr uint32_t kBlockHeader = 16;
    static constexpr uint32_t kGranularity = 16;
    static constexpr uint32_t kPageSize = 4096;

    static ProcessHeap& get();

    // The bytes `bytes` asked of a heap take there.
    static uint64_t blockCost(uint32_t bytes);

    // Null when the heap would have to grow and `charge` refuses the pages
    // (the device is out of program memory, or its thresholds say no), or
    // when `heap` is no heap.
    void* allocate(uint32_t bytes, bool zeroed) { return allocate(kProcessHeap, bytes, zeroed); }
    void* allocate(HeapId heap, uint32_t bytes, bool zeroed);
    // Blocks of an earlier device are released without touching this device's counts.
    void release(void* block);
    // The heap a block of this device lies in; false for any other pointer's owner.
    bool heapOf(const void* block, HeapId* heap) const;

    // A new private heap with no pages yet.
    HeapId createHeap();
    bool hasHeap(HeapId heap) const { return heaps_.count(heap) != 0; }
    // Frees every block of `heap` and gives its pages back; false for no such heap.
    bool destroyHeap(HeapId heap);

    // Forgets the counts, the heaps and the charge of the previous device.
    void reset();

    // The cost (blockCost) of the blocks in use, in all heaps.
    uint64_t bytesInUse() const;
    // The whole pages all heaps hold.
    uint64_t committedBytes() const { return committed_; }
    // The most committedBytes() since the reset or the last resetHighWater().
    uint64_t highWater() const { return high_water_; }
    void resetHighWater() { high_water_ = committed_; }
    size_t heapCount() const { return heaps_.size(); }

    // Told the bytes of whole pages the heaps hold together whenever that
    // changes: before a heap grows, with what they would hold afterwards
    // (false refuses the growth, and the block), and after a heap was
    // destroyed (the answer does not matter). Unset: every growth is taken.
    std::function<bool(uint64_t committed_after)> charge;

    ProcessHeap(const ProcessHeap&) = delete;
    ProcessHeap& operator=(const ProcessHeap&) = delete;

  private:
    struct BlockHeader;
    struct Heap {
        uint64_t in_use = 0;
        uint64_t committed = 0;
        BlockHeader* blocks = nullptr; // every block, for HeapDestroy
    };

    ProcessHeap();
    void unlink(Heap& heap, BlockHeader* header);

    std::map<HeapId, Heap> heaps_;
    HeapId next_heap_ = kProcessHeap + 1;
    uint64_t committed_ = 0;
    uint64_t high_water_ = 0;
    uint32_t generation_ = 0;
};

} // namespace sim
