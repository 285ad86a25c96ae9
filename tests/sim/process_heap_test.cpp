// The process's heaps as the simulated handheld serves them (LocalAlloc,
// HeapCreate): every block costs its header and rounding, a heap grows in
// whole pages it keeps, a refused charge fails the call, and a block of an
// earlier device can still be freed.
#include "platform/local_memory.h"
#include "platform/wince.h"
#include "sim/handheld.h"
#include "sim/process_heap.h"
#include "support/simulated_device.h"

namespace {

class ProcessHeapTest : public SimulatedDevice {
  protected:
    sim::ProcessHeap& heap() { return sim::ProcessHeap::get(); }
};

TEST_F(ProcessHeapTest, BlocksCostTheirHeaderAndRoundingAndTheHeapKeepsItsPages) {
    struct Case {
        uint32_t bytes;
        uint64_t cost;
    };
    for (Case c : {Case{0, 32}, Case{1, 32}, Case{16, 32}, Case{17, 48}, Case{1000, 1024}, Case{4096, 4112}})
        EXPECT_EQ(sim::ProcessHeap::blockCost(c.bytes), c.cost) << c.bytes;

    ASSERT_EQ(heap().committedBytes(), 0u);
    LocalArray<uint8_t> first = localArray<uint8_t>(1000);
    LocalArray<uint32_t> second = localArray<uint32_t>(1000, true);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(second[999], 0u);
    EXPECT_EQ(heap().bytesInUse(), 1024u + 4016u);
    EXPECT_EQ(heap().committedBytes(), 8192u);
    first.reset();
    EXPECT_EQ(heap().bytesInUse(), 4016u);
    // The pages stay with the heap, and its next blocks use them first.
    EXPECT_EQ(heap().committedBytes(), 8192u);
    LocalArray<uint8_t> third = localArray<uint8_t>(3000);
    EXPECT_EQ(heap().committedBytes(), 8192u);
    EXPECT_EQ(heap().highWater(), 8192u);
    LocalArray<uint8_t> fourth = localArray<uint8_t>(8000);
    EXPECT_EQ(heap().committedBytes(), 16384u);
    EXPECT_EQ(heap().highWater(), 16384u);
}

TEST_F(ProcessHeapTest, AHeapOfItsOwnGivesItsPagesBackWhenDestroyed) {
    std::vector<uint64_t> charged;
    heap().charge = [&charged](uint64_t committed) {
        charged.push_back(committed);
        return true;
    };
    ASSERT_EQ(heap().committedBytes(), 0u);
    ce::HANDLE own = ce::HeapCreate(0, 0, 0);
    ASSERT_NE(own, nullptr);
    void* block = ce::HeapAlloc(own, ce::HEAP_ZERO_MEMORY, 10000);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(block)[9999], 0);
    ASSERT_NE(ce::HeapAlloc(own, 0, 100), nullptr);
    EXPECT_EQ(heap().committedBytes(), 12288u);
    EXPECT_TRUE(ce::HeapFree(own, 0, block));
    EXPECT_EQ(heap().committedBytes(), 12288u);
    // Destroying the heap frees its blocks and gives every page back.
    EXPECT_TRUE(ce::HeapDestroy(own));
    EXPECT_EQ(heap().committedBytes(), 0u);
    EXPECT_EQ(heap().bytesInUse(), 0u);
    EXPECT_EQ(charged, (std::vector<uint64_t>{12288, 0}));
    EXPECT_FALSE(ce::HeapDestroy(own));
    EXPECT_EQ(ce::HeapAlloc(own, 0, 16), nullptr);
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_INVALID_HANDLE);
}

TEST_F(ProcessHeapTest, ARefusedChargeFailsWithNotEnoughMemory) {
    heap().charge = [](uint64_t committed_after) { return committed_after <= 4096; };
    LocalArray<uint8_t> fits = localArray<uint8_t>(4096 - sim::ProcessHeap::kBlockHeader);
    EXPECT_TRUE(fits);
    EXPECT_EQ(ce::LocalAlloc(ce::LMEM_FIXED, 1), nullptr);
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(heap().bytesInUse(), 4096u);
}

TEST_F(ProcessHeapTest, ABlockOfAnEarlierDeviceLeavesTheNewCountsAlone) {
    void* old_block = ce::LocalAlloc(ce::LMEM_FIXED, 512);
    ASSERT_NE(old_block, nullptr);
    sim::HandheldSettings settings;
    settings.root = root;
    device().reset(settings);
    void* new_block = ce::LocalAlloc(ce::LMEM_FIXED, 64);
    EXPECT_EQ(ce::LocalFree(old_block), nullptr);
    EXPECT_EQ(heap().bytesInUse(), 80u);
    ce::LocalFree(new_block);
    EXPECT_EQ(heap().bytesInUse(), 0u);
}

TEST_F(ProcessHeapTest, ASizeBeyond32BitsIsRefusedBeforeTheHeapIsAsked) {
    EXPECT_FALSE(localArray<uint32_t>(size_t{1} << 31));
    EXPECT_EQ(heap().bytesInUse(), 0u);
}

} // namespace
