// The loader process's heap on the simulated handheld: serves LocalAlloc and
// LocalFree and counts what the process holds there, since on the device the
// heap is program memory like committed pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace sim {

class ProcessHeap {
  public:
    static ProcessHeap& get();

    // Null when `charge` refuses the block (the device is out of program memory).
    void* allocate(uint32_t bytes, bool zeroed);
    // Blocks of an earlier device are released without touching this device's counts.
    void release(void* block);

    // Forgets the counts and the charge of the previous device.
    void reset();

    uint64_t bytesInUse() const { return in_use_; }
    // The most bytes held at once since the reset or the last resetHighWater().
    uint64_t highWater() const { return high_water_; }
    void resetHighWater() { high_water_ = in_use_; }

    // Told the bytes the heap holds whenever that changes: before a block is
    // handed out, with the bytes it would hold afterwards (false refuses the
    // block), and after a block is released (the answer does not matter).
    // Unset: every block that the host can give is taken.
    std::function<bool(uint64_t bytes_after)> charge;

    ProcessHeap(const ProcessHeap&) = delete;
    ProcessHeap& operator=(const ProcessHeap&) = delete;

  private:
    ProcessHeap() = default;

    uint64_t in_use_ = 0;
    uint64_t high_water_ = 0;
    uint32_t generation_ = 0;
};

} // namespace sim
