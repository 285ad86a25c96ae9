// Large commits are faulted in on a thread of their own; the pages must be
// there, zeroed and writable, and freeing the region at once must wait for it.
#include "platform/wince.h"
#include "sim/prefault.h"
#include "sim/process_memory.h"
#include "support/resident_pages.h"
#include "support/simulated_device.h"

#include <algorithm>
#include <sys/mman.h>
#include <vector>

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kRange = 4 * 1024 * 1024;

bool hostPrefaults();

TEST(Prefault, FaultsTheWholeRangeInZeroed) {
    if (!hostPrefaults())
        GTEST_SKIP() << "the host has no MADV_POPULATE_WRITE";
    void* range = mmap(nullptr, kRange, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(range, MAP_FAILED);
    ASSERT_EQ(residentPages(range, kRange), 0u);
    {
        sim::Prefault prefault;
        prefault.start(range, kRange);
        prefault.finish();
        EXPECT_EQ(residentPages(range, kRange), kRange / kPage);
        // A second range waits for nothing that is still running.
        prefault.start(range, kPage);
    } // the destructor waits for it
    const auto* bytes = static_cast<const uint8_t*>(range);
    EXPECT_TRUE(std::all_of(bytes, bytes + kRange, [](uint8_t b) { return b == 0; }));
    munmap(range, kRange);
}

class PrefaultedCommit : public SimulatedDevice {};

// Hosts before Linux 5.14 cannot fault a range in on request.
bool hostPrefaults() {
    void* probe = mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    bool works = probe != MAP_FAILED && madvise(probe, kPage, MADV_POPULATE_WRITE) == 0;
    if (probe != MAP_FAILED)
        munmap(probe, kPage);
    return works;
}

TEST_F(PrefaultedCommit, ALargeCommitIsFaultedInWithoutATouchAndASmallOneIsNot) {
    if (!hostPrefaults())
        GTEST_SKIP() << "the host has no MADV_POPULATE_WRITE";
    constexpr uint32_t kLarge = 8 * 1024 * 1024;
    auto* large = static_cast<uint8_t*>(
        ce::VirtualAlloc(nullptr, kLarge, ce::MEM_RESERVE | ce::MEM_COMMIT, ce::PAGE_READWRITE));
    ASSERT_NE(large, nullptr);
    sim::ProcessMemory::get().finishPrefault();
    EXPECT_EQ(residentPages(large, kLarge), kLarge / kPage);
    EXPECT_EQ(large[kLarge / 2], 0);

    auto* small = static_cast<uint8_t*>(
        ce::VirtualAlloc(nullptr, 64 * 1024, ce::MEM_RESERVE | ce::MEM_COMMIT, ce::PAGE_READWRITE));
    ASSERT_NE(small, nullptr);
    sim::ProcessMemory::get().finishPrefault();
    EXPECT_EQ(residentPages(small, 64 * 1024), 0u);
}

TEST_F(PrefaultedCommit, ALargeCommitCanBeFreedWhileItIsFaultedIn) {
    for (int round = 0; round < 4; ++round) {
        auto* region = static_cast<uint8_t*>(
            ce::VirtualAlloc(nullptr, 8 * 1024 * 1024, ce::MEM_RESERVE | ce::MEM_COMMIT, ce::PAGE_READWRITE));
        ASSERT_NE(region, nullptr);
        ASSERT_TRUE(ce::VirtualFree(region, 0, ce::MEM_RELEASE));
        EXPECT_EQ(sim::ProcessMemory::get().regionCount(), 0u);
    }
}

} // namespace
