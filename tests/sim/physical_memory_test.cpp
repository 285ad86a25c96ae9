// The simulated RAM: one memory per profile in its banks, divided into the
// kernel's part, the object store and program memory; frames of program memory
// handed out scattered and never twice, host memory used only for touched frames.
#include "platform/wide_string.h"
#include "platform/wince.h"
#include "sim/physical_memory.h"
#include "sim/process_heap.h"
#include "sim/process_memory.h"
#include "sim/ram_split.h"
#include "support/resident_pages.h"
#include "support/simulated_device.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
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

TEST_F(PhysicalMemoryTest, RamIsTheProfilesBanks) {
    struct Case {
        const char16_t* machine;
        std::vector<sim::RamBank> banks;
    };
    const Case cases[] = {
        {u"Compaq iPAQ H3100", {{0xC0000000, 16 * kMB}}},
        {u"HP Jornada 720 (US/UK)", {{0xC0000000, 32 * kMB}}},
        {u"Compaq iPAQ H3660", {{0xC0000000, 32 * kMB}, {0xC8000000, 32 * kMB}}},
        {u"Sharp WILLCOM 03 (WS020SH)", {{0xA0000000, 64 * kMB}, {0xA4000000, 64 * kMB}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf16ToUtf8(c.machine));
        useProfile(*sim::findDeviceProfile(c.machine));
        ASSERT_EQ(ram().banks().size(), c.banks.size());
        EXPECT_EQ(ram().base(), c.banks.front().base);
        EXPECT_EQ(ram().size(), c.banks.back().base + c.banks.back().size - c.banks.front().base);
        for (size_t i = 0; i < c.banks.size(); ++i) {
            const sim::RamBank& bank = c.banks[i];
            uint32_t end = bank.base + bank.size;
            EXPECT_EQ(ram().banks()[i].base, bank.base);
            EXPECT_EQ(ram().banks()[i].size, bank.size);
            EXPECT_TRUE(ram().contains(bank.base, bank.size));
            EXPECT_TRUE(ram().contains(end - 4, 4));
            EXPECT_NE(ram().hostAddress(end - 1), nullptr);
            // A bank that follows the one before it makes one stretch of RAM with it.
            bool follows = i > 0 && c.banks[i - 1].base + c.banks[i - 1].size == bank.base;
            EXPECT_EQ(ram().contains(bank.base - 4, 8), follows) << i;
            EXPECT_EQ(ram().hostAddress(bank.base - 1) != nullptr, follows) << i;
        }
        const sim::RamBank& last = c.banks.back();
        EXPECT_FALSE(ram().contains(last.base + last.size - 4, 5));
        EXPECT_FALSE(ram().contains(0xFFFFFFF0u, 0x20));
    }
    // Between the iPAQ's banks nothing answers, neither to the loader nor to a mapping.
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3660"));
    uint32_t word = 0;
    EXPECT_FALSE(ram().read(0xC4000000, &word, 4));
    EXPECT_FALSE(ram().write(0xC7FFFFFC, &word, 4));
    EXPECT_EQ(ram().frameUse(0xC4000000), sim::FrameUse::NotRam);
    void* window = ce::VirtualAlloc(nullptr, kPage, ce::MEM_RESERVE, ce::PAGE_NOACCESS);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(ce::VirtualCopy(window, reinterpret_cast<void*>(uintptr_t{0xC4000000} >> 8), kPage,
                                 ce::PAGE_READWRITE | ce::PAGE_PHYSICAL));
}

// What each frame is when a device starts: the kernel's part at the bottom of
// the first bank with the display's frames when they are in RAM, the object
// store (half of the RAM) on every bank, program memory the rest, as
// GlobalMemoryStatus reports it.
TEST_F(PhysicalMemoryTest, RamIsDividedAsWindowsCeDividesIt) {
    struct Case {
        const char16_t* machine;
        uint32_t display_frames; // at 1 MB into the first bank; 0: the video controller's memory
    };
    const Case cases[] = {
        {u"Sharp W-ZERO3 (WS003SH)", 151}, // 480 x 640 x 2 bytes in whole frames, and one more
        {u"Compaq iPAQ H3660", 39},        // 240 x 320 x 2
        {u"HP Jornada 720 (US/UK)", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf16ToUtf8(c.machine));
        const sim::DeviceProfile& profile = *sim::findDeviceProfile(c.machine);
        useProfile(profile);
        std::map<sim::FrameUse, uint32_t> total;
        std::vector<uint32_t> store_per_bank;
        for (const sim::RamBank& bank : ram().banks()) {
            uint32_t store = 0;
            for (uint32_t paddr = bank.base; paddr - bank.base < bank.size; paddr += kPage) {
                sim::FrameUse use = ram().frameUse(paddr);
                ++total[use];
                store += use == sim::FrameUse::ObjectStore;
                bool kernel = paddr - profile.ram_base < 1 * kMB ||
                              (paddr - profile.ram_base - 1 * kMB) / kPage < c.display_frames;
                EXPECT_EQ(use == sim::FrameUse::Kernel, kernel) << std::hex << paddr;
            }
            store_per_bank.push_back(store);
        }
        uint32_t frames = profile.ram_size / kPage;
        EXPECT_EQ(total[sim::FrameUse::Kernel], 256 + c.display_frames);
        EXPECT_EQ(total[sim::FrameUse::ObjectStore], frames / 2);
        uint32_t program = frames - frames / 2 - 256 - c.display_frames;
        EXPECT_EQ(total[sim::FrameUse::Free], program);
        // Scattered: every bank holds some, and not only in one place.
        for (uint32_t store : store_per_bank) {
            EXPECT_GT(store, 0u);
            EXPECT_LT(store, frames / ram().banks().size());
        }
        ce::MEMORYSTATUS status{};
        ce::GlobalMemoryStatus(&status);
        EXPECT_EQ(status.dwTotalPhys, program * kPage);
        EXPECT_EQ(status.dwAvailPhys, program * kPage);
        EXPECT_EQ(status.dwMemoryLoad, 0u);
    }
}

// Program memory is what committed pages and the heap take: both show in
// dwAvailPhys, both are refused with ERROR_NOT_ENOUGH_MEMORY once it is gone,
// and the frames handed out are never the kernel's or the object store's.
// Committed pages and the heaps take the same program memory, down to the
// 48 KB Windows CE keeps free; the process heap keeps the pages it grew by
// for its later blocks, a heap of the process's own gives them back when it
// is destroyed.
TEST_F(PhysicalMemoryTest, CommittedPagesAndTheHeapsShareProgramMemory) {
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3100")); // 16 MB
    auto available = [] {
        ce::MEMORYSTATUS status{};
        ce::GlobalMemoryStatus(&status);
        return status.dwAvailPhys;
    };
    const uint32_t kept_free = device().memory.thresholds.low_memory;
    uint32_t program = available();
    void* heap_block = ce::LocalAlloc(ce::LMEM_FIXED, 1 * kMB + 1);
    ASSERT_NE(heap_block, nullptr);
    // The block, its header and its rounding take one page more than the megabyte.
    EXPECT_EQ(available(), program - 1 * kMB - kPage);
    ce::HANDLE own = ce::HeapCreate(0, 0, 0);
    ASSERT_NE(own, nullptr);
    ASSERT_NE(ce::HeapAlloc(own, 0, 2 * kPage), nullptr);
    EXPECT_EQ(available(), program - 1 * kMB - 4 * kPage);

    uint32_t rest = available() - kept_free;
    uint8_t* region = commit(rest);
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(available(), kept_free);
    std::set<uint32_t> frames;
    for (uint32_t offset = 0; offset < rest; offset += kPage) {
        uint32_t frame = frameOf(region + offset);
        EXPECT_EQ(ram().frameUse(frame), sim::FrameUse::Committed) << std::hex << frame;
        frames.insert(frame);
    }
    EXPECT_EQ(frames.size(), rest / kPage);

    device().last_error = 0;
    EXPECT_EQ(commit(kPage), nullptr);
    EXPECT_EQ(device().last_error, ce::ERROR_NOT_ENOUGH_MEMORY);
    device().last_error = 0;
    EXPECT_EQ(ce::LocalAlloc(ce::LMEM_FIXED, kPage), nullptr); // the heap would have to grow
    EXPECT_EQ(device().last_error, ce::ERROR_NOT_ENOUGH_MEMORY);

    // The process heap keeps its pages: freeing gives nothing back, and its
    // next block takes the room again without growing.
    ce::LocalFree(heap_block);
    EXPECT_EQ(available(), kept_free);
    void* again = ce::LocalAlloc(ce::LMEM_FIXED, 1 * kMB);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(available(), kept_free);
    // Destroying the heap of its own gives its pages back, and a commit takes them.
    ASSERT_TRUE(ce::HeapDestroy(own));
    EXPECT_EQ(available(), kept_free + 3 * kPage);
    EXPECT_NE(commit(3 * kPage), nullptr);
    ce::LocalFree(again);
    ASSERT_TRUE(ce::VirtualFree(region, 0, ce::MEM_RELEASE));
    EXPECT_EQ(available(), program - 1 * kMB - 4 * kPage);
}

// Windows CE's memory thresholds: a request must leave 48 KB of program
// memory free, and below 160 KB free one request takes at most 16 KB (the
// limited-memory state); below the critical 48 KB at most 8 KB. The same for
// a commit and for a heap that grows.
TEST_F(PhysicalMemoryTest, MemoryThresholdsLimitEveryRequest) {
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3100"));
    struct Case {
        const char* name;
        uint32_t free_kb; // program memory free before the request
        uint32_t asked_kb;
        bool granted;
    };
    const Case cases[] = {
        {"plenty", 4096, 1024, true},
        {"down to the 48 KB kept free", 4096, 4096 - 48, true},
        {"below the 48 KB kept free", 4096, 4096 - 44, false},
        {"limited state: 16 KB", 156, 16, true},
        {"limited state: 20 KB", 156, 20, false},
        {"not yet limited: 64 KB", 160, 64, true},
        {"limited state: down to 48 KB", 64, 16, true},
        {"limited state: below 48 KB", 60, 16, false},
    };
    const uint32_t program = ram().freeFrames() * kPage;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Something else holds the rest of program memory.
        device().memory.thresholds = sim::MemoryThresholds{0, 0, 0, UINT32_MAX, UINT32_MAX};
        uint8_t* others = commit(program - c.free_kb * 1024);
        ASSERT_NE(others, nullptr);
        device().memory.thresholds = sim::MemoryThresholds{};
        ASSERT_EQ(ram().freeFrames() * kPage, c.free_kb * 1024);

        uint8_t* region = commit(c.asked_kb * 1024);
        EXPECT_EQ(region != nullptr, c.granted);
        if (region != nullptr)
            ce::VirtualFree(region, 0, ce::MEM_RELEASE);
        ce::HANDLE heap = ce::HeapCreate(0, 0, 0);
        void* block = ce::HeapAlloc(heap, 0, c.asked_kb * 1024 - sim::ProcessHeap::kBlockHeader);
        EXPECT_EQ(block != nullptr, c.granted);
        ce::HeapDestroy(heap);
        ASSERT_TRUE(ce::VirtualFree(others, 0, ce::MEM_RELEASE));
    }
    // In the critical state (which only memory taken elsewhere brings about) at most 8 KB.
    device().memory.thresholds = sim::MemoryThresholds{0, 0, 0, UINT32_MAX, UINT32_MAX};
    uint8_t* others = commit(program - 40 * 1024);
    ASSERT_NE(others, nullptr);
    device().memory.thresholds = sim::MemoryThresholds{};
    EXPECT_EQ(commit(12 * 1024), nullptr);
    uint8_t* small = commit(8 * 1024);
    EXPECT_NE(small, nullptr);
}

TEST_F(PhysicalMemoryTest, TheObjectStoreSettingMovesTheSplit) {
    const sim::DeviceProfile& profile = *sim::findDeviceProfile(u"HP Jornada 720 (US/UK)");
    useProfile(profile);
    struct Case {
        std::optional<uint32_t> store;
        uint32_t program;
    };
    const Case cases[] = {
        {std::nullopt, 15 * kMB}, // half of 32 MB, less the kernel's 1 MB
        {4 * kMB, 27 * kMB},
        {0, 31 * kMB},
        {31 * kMB, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.store.value_or(-1));
        device().setObjectStore(c.store);
        ce::MEMORYSTATUS status{};
        ce::GlobalMemoryStatus(&status);
        EXPECT_EQ(status.dwTotalPhys, c.program);
        EXPECT_EQ(sim::programMemoryBytes(profile, device().objectStoreBytes(profile)), c.program);
        EXPECT_EQ(commit(kPage) != nullptr, c.program > 0);
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
    EXPECT_EQ(ram().framesInUse(), 0u);
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
    EXPECT_EQ(ram().framesInUse(), frames.size());
    for (uint32_t frame : frames)
        EXPECT_TRUE(ram().frameInUse(frame));
    ASSERT_TRUE(ce::VirtualFree(regions[1], 0, ce::MEM_RELEASE));
    EXPECT_EQ(ram().framesInUse(), 0x30000u / kPage);
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

// The halves of the RAM count the banks in order: on the two-bank iPAQ the
// upper half is the second bank.
TEST_F(PhysicalMemoryTest, UpperHalfOverflowsIntoTheLowerHalf) {
    for (const char16_t* machine : {u"Compaq iPAQ H3100", u"Compaq iPAQ H3660"}) {
        SCOPED_TRACE(utf16ToUtf8(machine));
        useProfile(*sim::findDeviceProfile(machine));
        device().memory.placement = sim::FramePlacement::UpperHalf;
        uint32_t middle = ram().banks().size() == 2 ? ram().banks()[1].base : ram().base() + ram().size() / 2;
        uint32_t upper_free = 0;
        for (uint32_t paddr = middle; paddr - ram().base() < ram().size(); paddr += kPage)
            upper_free += ram().frameUse(paddr) == sim::FrameUse::Free;
        uint8_t* upper = commit(upper_free * kPage);
        ASSERT_NE(upper, nullptr);
        for (uint32_t offset = 0; offset < upper_free * kPage; offset += kPage)
            EXPECT_GE(frameOf(upper + offset), middle);
        uint8_t* more = commit(0x10000);
        ASSERT_NE(more, nullptr);
        EXPECT_LT(frameOf(more), middle);
    }
}

TEST_F(PhysicalMemoryTest, RunningOutOfFramesRefusesTheCommit) {
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3100")); // 16 MB
    device().memory.thresholds = sim::MemoryThresholds{0, 0, 0, UINT32_MAX, UINT32_MAX};
    uint32_t program = ram().freeFrames();
    uint8_t* all = commit(program * kPage);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(ram().framesInUse(), program);
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
    EXPECT_EQ(ram().framesInUse(), 16u);
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
