// LocalAlloc and LocalFree as the simulated handheld serves them: what the
// process holds is counted, a refused charge fails the call, and a block of an
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

TEST_F(ProcessHeapTest, CountsWhatIsHeldAndTheMostEverHeld) {
    LocalArray<uint8_t> first = localArray<uint8_t>(1000);
    LocalArray<uint32_t> second = localArray<uint32_t>(250, true);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(second[249], 0u);
    EXPECT_EQ(heap().bytesInUse(), 2000u);
    first.reset();
    EXPECT_EQ(heap().bytesInUse(), 1000u);
    EXPECT_EQ(heap().highWater(), 2000u);
    heap().resetHighWater();
    EXPECT_EQ(heap().highWater(), 1000u);
}

TEST_F(ProcessHeapTest, ARefusedChargeFailsWithNotEnoughMemory) {
    heap().charge = [](uint64_t bytes_after) { return bytes_after <= 4096; };
    LocalArray<uint8_t> fits = localArray<uint8_t>(4096);
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
    EXPECT_EQ(heap().bytesInUse(), 64u);
    ce::LocalFree(new_block);
    EXPECT_EQ(heap().bytesInUse(), 0u);
}

TEST_F(ProcessHeapTest, ASizeBeyond32BitsIsRefusedBeforeTheHeapIsAsked) {
    EXPECT_FALSE(localArray<uint32_t>(size_t{1} << 31));
    EXPECT_EQ(heap().bytesInUse(), 0u);
}

} // namespace
