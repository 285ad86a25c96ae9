// Large commits are faulted in on a thread of their own; the pages must be
// there, zeroed and writable, and freeing the region at once must wait for it.
#include "platform/wince.h"
#include "sim/prefault.h"
#include "support/simulated_device.h"

#include <algorithm>
#include <sys/mman.h>
#include <vector>

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kRange = 4 * 1024 * 1024;

size_t residentPages(void* address, size_t size) {
    std::vector<unsigned char> pages(size / kPage);
    EXPECT_EQ(mincore(address, size, pages.data()), 0);
    return static_cast<size_t>(
        std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; }));
}

TEST(Prefault, FaultsTheWholeRangeInZeroed) {
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

TEST_F(PrefaultedCommit, ALargeCommitCanBeFilledOrFreedAtOnce) {
    for (int round = 0; round < 4; ++round) {
        auto* region = static_cast<uint8_t*>(
            ce::VirtualAlloc(nullptr, 8 * 1024 * 1024, ce::MEM_RESERVE | ce::MEM_COMMIT, ce::PAGE_READWRITE));
        ASSERT_NE(region, nullptr);
        if (round % 2 == 0) {
            region[0] = 1;
            region[8 * 1024 * 1024 - 1] = 2;
            EXPECT_EQ(region[4096], 0);
        }
        ASSERT_TRUE(ce::VirtualFree(region, 0, ce::MEM_RELEASE));
    }
}

} // namespace
