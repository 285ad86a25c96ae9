// The simulated RAM: one memory per profile, frames handed out scattered and
// never twice, host memory used only for touched frames.
#include "platform/wide_string.h"
#include "platform/wince.h"
#include "sim/physical_memory.h"
#include "sim/process_memory.h"
#include "support/resident_pages.h"
#include "support/simulated_device.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>

namespace {

constexpr uint32_t kPage = 4096;
constexpr uint32_t kMB = 1024 * 1024;

class PhysicalMemoryTest : public SimulatedDevice {
  protected:
    sim::PhysicalMemory& ram() { return sim::PhysicalMemory::get(); }
    uint32_t frameOf(const uint8_t* vaddr) { return sim::ProcessMemory::get().physicalAddress(vaddr); }
    // Host bytes the RAM's memory file really holds.
    uint64_t hostBytesUsed() {
        struct stat info {};
        EXPECT_EQ(fstat(ram().memoryFile(), &info), 0);
        return uint64_t(info.st_blocks) * 512;
    }
    uint8_t* commit(uint32_t size) {
        return static_cast<uint8_t*>(ce::VirtualAlloc(nullptr, size, ce::MEM_COMMIT, ce::PAGE_READWRITE));
    }
};

TEST_F(PhysicalMemoryTest, RamIsTheProfilesFirstBank) {
    for (const char16_t* name :
         {u"Compaq iPAQ H3100", u"HP Jornada 720 (US/UK)", u"Sharp WILLCOM 03 (WS020SH)"}) {
        const sim::DeviceProfile* profile = sim::findDeviceProfile(name);
        ASSERT_NE(profile, nullptr);
        useProfile(*profile);
        SCOPED_TRACE(utf16ToUtf8(name));
        EXPECT_EQ(ram().base(), profile->ram_base);
        EXPECT_EQ(ram().size(), profile->ram_size);
        uint32_t end = profile->ram_base + profile->ram_size;
        EXPECT_TRUE(ram().contains(profile->ram_base, profile->ram_size));
        EXPECT_TRUE(ram().contains(end - 4, 4));
        EXPECT_FALSE(ram().contains(end - 4, 5));
        EXPECT_FALSE(ram().contains(profile->ram_base - 1, 2));
        EXPECT_FALSE(ram().contains(0xFFFFFFF0u, 0x20));
        EXPECT_NE(ram().hostAddress(end - 1), nullptr);
        EXPECT_EQ(ram().hostAddress(end), nullptr);
        EXPECT_EQ(ram().hostAddress(profile->ram_base - 1), nullptr);
    }
}

TEST_F(PhysicalMemoryTest, ReadAndWriteStayInsideRam) {
    uint32_t last = ram().base() + ram().size() - 8;
    const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(ram().write(last, bytes, 8));
    uint8_t seen[8] = {};
    ASSERT_TRUE(ram().read(last, seen, 8));
    EXPECT_EQ(std::memcmp(seen, bytes, 8), 0);
    EXPECT_EQ(ram().hostAddress(last)[7], 8);
    EXPECT_FALSE(ram().write(last + 4, bytes, 8));
    EXPECT_FALSE(ram().read(last + 4, seen, 8));
    EXPECT_FALSE(ram().read(ram().base() - 4, seen, 8));
}

TEST_F(PhysicalMemoryTest, ResetGivesANewZeroedRam) {
    uint32_t paddr = ram().base() + 0x1000;
    uint32_t value = 0xDEADBEEF;
    ASSERT_TRUE(ram().write(paddr, &value, 4));
    ASSERT_NE(commit(0x10000), nullptr);
    sim::HandheldSettings settings;
    settings.root = root;
    device().reset(settings);
    uint32_t seen = 1;
    ASSERT_TRUE(ram().read(paddr, &seen, 4));
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(ram().programFrames(), 0u);
    EXPECT_EQ(sim::ProcessMemory::get().regionCount(), 0u);
}

TEST_F(PhysicalMemoryTest, FramesOfDifferentRegionsNeverOverlap) {
    std::set<uint32_t> frames;
    std::vector<uint8_t*> regions;
    for (uint32_t size : {0x10000u, 0x30000u, 0x20000u}) {
        uint8_t* region = commit(size);
        ASSERT_NE(region, nullptr);
        regions.push_back(region);
        for (uint32_t offset = 0; offset < size; offset += kPage)
            EXPECT_TRUE(frames.insert(frameOf(region + offset)).second);
    }
    EXPECT_EQ(frames.size(), 0x60000u / kPage);
    EXPECT_EQ(ram().programFrames(), frames.size());
    for (uint32_t frame : frames)
        EXPECT_TRUE(ram().frameInUse(frame));
    ASSERT_TRUE(ce::VirtualFree(regions[1], 0, ce::MEM_RELEASE));
    EXPECT_EQ(ram().programFrames(), 0x30000u / kPage);
}

// Lengths of the runs of consecutive frames behind consecutive pages, and
// how often a run starts below the one before it.
struct FrameRuns {
    std::vector<uint32_t> lengths;
    int descents = 0;
};

class FrameRunTest : public PhysicalMemoryTest, public ::testing::WithParamInterface<uint32_t> {
  protected:
    FrameRuns runsOf(const uint8_t* region, uint32_t pages) {
        FrameRuns runs;
        uint32_t run_start = frameOf(region);
        runs.lengths.push_back(1);
        for (uint32_t i = 1; i < pages; ++i) {
            uint32_t frame = frameOf(region + i * kPage);
            if (frame == frameOf(region + (i - 1) * kPage) + kPage) {
                ++runs.lengths.back();
                continue;
            }
            runs.descents += frame < run_start;
            run_start = frame;
            runs.lengths.push_back(1);
        }
        return runs;
    }
};

TEST_P(FrameRunTest, FramesComeInShortRunsInScatteredPlaces) {
    uint32_t longest = GetParam();
    device().memory.longest_run = longest;
    const uint32_t pages = 512;
    uint8_t* region = commit(pages * kPage);
    ASSERT_NE(region, nullptr);
    FrameRuns runs = runsOf(region, pages);
    uint32_t longest_seen = *std::max_element(runs.lengths.begin(), runs.lengths.end());
    // Two runs drawn apart may still happen to touch; never more than that.
    EXPECT_LE(longest_seen, 2 * longest);
    EXPECT_GE(runs.lengths.size(), pages / longest);
    EXPECT_GT(runs.descents, 0);
    if (longest > 1) {
        EXPECT_GT(longest_seen, 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(LongestRuns, FrameRunTest, ::testing::Values(1u, 4u, 16u));

TEST_F(PhysicalMemoryTest, UpperHalfOverflowsIntoTheLowerHalf) {
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3100")); // 16 MB
    uint8_t* upper = commit(8 * kMB);
    ASSERT_NE(upper, nullptr);
    uint32_t middle = ram().base() + 8 * kMB;
    for (uint32_t offset = 0; offset < 8 * kMB; offset += 64 * kPage)
        EXPECT_GE(frameOf(upper + offset), middle);
    uint8_t* more = commit(0x10000);
    ASSERT_NE(more, nullptr);
    EXPECT_LT(frameOf(more), middle);
}

TEST_F(PhysicalMemoryTest, RunningOutOfFramesRefusesTheCommit) {
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3100")); // 16 MB
    // All of RAM but the display driver's frames.
    uint32_t free_bytes = 16 * kMB - ram().deviceFrames() * kPage;
    uint8_t* all = commit(free_bytes);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(ram().programFrames(), free_bytes / kPage);
    device().last_error = 0;
    EXPECT_EQ(commit(kPage), nullptr);
    EXPECT_EQ(device().last_error, ce::ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(sim::ProcessMemory::get().regionCount(), 1u);
    ASSERT_TRUE(ce::VirtualFree(all, 0, ce::MEM_RELEASE));
    EXPECT_NE(commit(kPage), nullptr);
}

TEST_F(PhysicalMemoryTest, FrameLimitRefusesTheCommit) {
    device().memory.frame_limit = 20;
    uint8_t* first = commit(0x10000);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(commit(0x10000), nullptr);
    EXPECT_EQ(ram().programFrames(), 16u);
    // Committing inside a reservation counts against the same limit.
    void* reserved = ce::VirtualAlloc(nullptr, 0x10000, ce::MEM_RESERVE, ce::PAGE_NOACCESS);
    ASSERT_NE(reserved, nullptr);
    EXPECT_NE(ce::VirtualAlloc(reserved, 4 * kPage, ce::MEM_COMMIT, ce::PAGE_READWRITE), nullptr);
    EXPECT_EQ(ce::VirtualAlloc(static_cast<uint8_t*>(reserved) + 4 * kPage, kPage, ce::MEM_COMMIT,
                               ce::PAGE_READWRITE),
              nullptr);
}

TEST_F(PhysicalMemoryTest, HostMemoryIsUsedOnlyForTouchedFrames) {
    uint64_t before = hostBytesUsed();
    // Below the host's huge-page size: regions from 2 MB on may take host
    // memory in huge pages.
    const uint32_t size = 1 * kMB;
    uint8_t* region = commit(size);
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(residentPages(region, size), 0u);
    for (uint32_t i = 0; i < 8; ++i)
        region[i * 16 * kPage] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(residentPages(region, size), 8u);
    EXPECT_EQ(hostBytesUsed(), before);

    // Taken whole, the RAM holds the touched frames' bytes, and only those.
    ram().settle();
    EXPECT_EQ(hostBytesUsed(), before + 8 * kPage);
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(ram().hostAddress(ram().base())[frameOf(region + i * 16 * kPage) - ram().base()], i + 1);
    ASSERT_TRUE(ce::VirtualFree(region, 0, ce::MEM_RELEASE));
    EXPECT_EQ(hostBytesUsed(), before);
}

TEST_F(PhysicalMemoryTest, ReusedFramesStartZeroed) {
    device().memory.frame_limit = 16; // the second region must reuse the first one's frames
    uint8_t* first = commit(0x10000);
    ASSERT_NE(first, nullptr);
    std::memset(first, 0xA5, 0x10000);
    ASSERT_TRUE(ce::VirtualFree(first, 0, ce::MEM_RELEASE));
    uint8_t* second = commit(0x10000);
    ASSERT_NE(second, nullptr);
    for (uint32_t i = 0; i < 0x10000; i += 509)
        ASSERT_EQ(second[i], 0) << i;
}

} // namespace
