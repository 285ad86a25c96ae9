// How the simulated handheld's memory behaves: where frames are placed and
// which kernel calls fail, so that tests can reproduce what real devices do.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace sim {

// Where the frames of newly committed pages come from: Windows CE hands out
// program memory wherever the object store left it, all over RAM (Anywhere);
// a half of the RAM (the banks counted in order) makes tests sharper.
enum class FramePlacement { UpperHalf, LowerHalf, Anywhere };

// Windows CE's memory thresholds, in bytes of free program memory. Every
// request (a VirtualAlloc commit, or a heap growing) must leave `low_memory`
// free; below `hibernation` the system is in its limited-memory state, where
// one request may take at most `low_memory_largest`; below `critical` (which
// only memory taken elsewhere brings about) at most `critical_largest`.
struct MemoryThresholds {
    uint32_t hibernation = 160 * 1024;
    uint32_t low_memory = 48 * 1024;
    uint32_t critical = 48 * 1024;
    uint32_t low_memory_largest = 16 * 1024;
    uint32_t critical_largest = 8 * 1024;
};

struct PhysicalRange {
    uint32_t base;
    uint32_t size;
};

struct MemoryKnobs {
    FramePlacement placement = FramePlacement::Anywhere;
    // Most frames handed out consecutively to consecutive pages before the
    // next run starts somewhere else; 1 scatters every page.
    uint32_t longest_run = 16;
    // Seeds the scattering of frames; taken at the first frame handed out after a reset.
    uint32_t seed = 0x5EED;
    // Most frames that committed pages may hold at once; a commit beyond it fails.
    uint32_t frame_limit = UINT32_MAX;
    MemoryThresholds thresholds;

    // LockPages fails when it reaches the page with this number, counting
    // the pages of every call since the reset from 0.
    std::optional<uint32_t> lock_fail_at;
    // LockPages fails for a range that contains this page.
    const void* lock_fail_page = nullptr;
    // LockPages fails for a page when this answers true (page, its number).
    std::function<bool(const void* page, uint32_t number)> lock_fails;
    // Set in every frame address LockPages reports: devices may leave low bits set.
    uint32_t frame_low_bits = 0;
    bool unlock_fails = false;

    // Physical ranges where nothing answers: VirtualCopy of them fails.
    std::vector<PhysicalRange> absent_ranges;

    // Test fault: at the jump, the first data byte of this load link
    // (counted from 0 in list order) is flipped, as if its page had been
    // damaged after the loader filled it.
    std::optional<uint32_t> corrupt_load_link;
    // Test fault: at the jump, this zero-clear link (counted from 0 in list
    // order) is taken out of the list, as if the loader had never cleared
    // its range.
    std::optional<uint32_t> drop_zero_link;
};

} // namespace sim
