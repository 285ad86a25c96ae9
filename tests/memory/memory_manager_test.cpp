// The memory manager over the simulated handheld's real frames: the table
// must name the frame behind every page, pages are handed out from both ends,
// and physical ranges reach RAM or device models.
#include "memory/memory_manager_lock_pages.h"
#include "platform/device_registers.h"
#include "sim/device_profile.h"
#include "sim/physical_memory.h"
#include "sim/process_memory.h"
#include "sim/recording_device_model.h"
#include "support/recording_console.h"
#include "support/scripted_memory.h"
#include "support/simulated_device.h"

#include <cstring>
#include <memory>
#include <set>

namespace {

constexpr uint32_t kPage = 4096;

class MemoryManagerTest : public SimulatedDevice {
  protected:
    std::unique_ptr<MemoryManagerLockPages> makeManager() {
        return std::make_unique<MemoryManagerLockPages>(&sim::LockPages, &sim::UnlockPages, &slot, kPage, 0);
    }
    void SetUp() override {
        SimulatedDevice::SetUp();
        memory = makeManager();
        console.output.clear();
    }
    void TearDown() override {
        memory.reset();
        SimulatedDevice::TearDown();
    }
    sim::PhysicalMemory& ram() { return sim::PhysicalMemory::get(); }
    sim::ProcessMemory& process() { return sim::ProcessMemory::get(); }

    RecordingConsole console;
    Console* slot = &console;
    std::unique_ptr<MemoryManagerLockPages> memory;
};

TEST_F(MemoryManagerTest, ConstructorAnnouncesTheLockPagesMethod) {
    console.output.clear();
    auto other = makeManager();
    EXPECT_EQ(console.text(), "MemoryManager: LockPages\n");
    EXPECT_EQ(other->getPageSize(), 4096u);
    EXPECT_EQ(other->getTaggedPageSize(), 4080u);
    EXPECT_EQ(other->table(), nullptr);
}

TEST_F(MemoryManagerTest, ConstructorWithAnEmptyConsoleSlotPrintsNothing) {
    Console* empty = nullptr;
    MemoryManagerLockPages quiet(&sim::LockPages, &sim::UnlockPages, &empty, kPage, 0);
    EXPECT_TRUE(quiet.reservePages(kPage));
    EXPECT_EQ(quiet.mappedCount(), 1);
}

TEST_F(MemoryManagerTest, TableNamesTheFrameBehindEveryPage) {
    const int pages = 40;
    ASSERT_TRUE(memory->reservePages(pages * kPage));
    EXPECT_EQ(console.text(), "address translation table 40 pages. (0x140 bytes)\n"
                              "allocated 40 page. mapped 40 page.\n");
    ASSERT_EQ(memory->mappedCount(), pages);
    const MemoryManager::TableEntry* table = memory->table();
    std::set<uint32_t> frames;
    for (int i = 0; i < pages; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(table[i].vaddr, table[0].vaddr + i * kPage);
        EXPECT_EQ(table[i].paddr % kPage, 0u);
        EXPECT_EQ(table[i].paddr, process().physicalAddress(table[i].vaddr));
        frames.insert(table[i].paddr);
        // The bytes written through the page are the frame's bytes.
        uint32_t stamp = 0x5A000000u | static_cast<uint32_t>(i);
        std::memcpy(table[i].vaddr + 0x123, &stamp, sizeof stamp);
        uint32_t seen = 0;
        ASSERT_TRUE(ram().read(table[i].paddr + 0x123, &seen, sizeof seen));
        EXPECT_EQ(seen, stamp);
        // And the other way round.
        ASSERT_TRUE(ram().write(table[i].paddr + kPage - 4, &stamp, sizeof stamp));
        EXPECT_EQ(std::memcmp(table[i].vaddr + kPage - 4, &stamp, sizeof stamp), 0);
    }
    EXPECT_EQ(frames.size(), static_cast<size_t>(pages));
}

// By default frames come from wherever the object store left program memory:
// both halves of RAM, out of order, never the kernel's or the object store's.
TEST_F(MemoryManagerTest, FramesAreScatteredOverProgramMemoryByDefault) {
    const int pages = 64;
    ASSERT_TRUE(memory->reservePages(pages * kPage));
    const MemoryManager::TableEntry* table = memory->table();
    uint32_t middle = ram().base() + ram().size() / 2;
    int descents = 0;
    bool low = false, high = false;
    for (int i = 0; i < pages; ++i) {
        (table[i].paddr < middle ? low : high) = true;
        EXPECT_EQ(ram().frameUse(table[i].paddr), sim::FrameUse::Committed);
        if (i > 0 && table[i].paddr < table[i - 1].paddr)
            ++descents;
    }
    EXPECT_TRUE(low && high);
    EXPECT_GT(descents, 0);
}

struct PlacementCase {
    sim::FramePlacement placement;
    bool low_expected;
    bool high_expected;
};

class FramePlacementTest : public MemoryManagerTest, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(FramePlacementTest, KnobChoosesTheHalfOfRam) {
    device().memory.placement = GetParam().placement;
    const int pages = 64;
    ASSERT_TRUE(memory->reservePages(pages * kPage));
    uint32_t middle = ram().base() + ram().size() / 2;
    bool low = false, high = false;
    for (int i = 0; i < pages; ++i)
        (memory->table()[i].paddr < middle ? low : high) = true;
    EXPECT_EQ(low, GetParam().low_expected);
    EXPECT_EQ(high, GetParam().high_expected);
}

INSTANTIATE_TEST_SUITE_P(Placements, FramePlacementTest,
                         ::testing::Values(PlacementCase{sim::FramePlacement::UpperHalf, false, true},
                                           PlacementCase{sim::FramePlacement::LowerHalf, true, false},
                                           PlacementCase{sim::FramePlacement::Anywhere, true, true}));

TEST_F(MemoryManagerTest, SameSeedGivesTheSameFrames) {
    auto framesOfOneBoot = [&](uint32_t seed) {
        sim::HandheldSettings settings;
        settings.root = root;
        device().reset(settings);
        device().memory.seed = seed;
        auto manager = makeManager();
        EXPECT_TRUE(manager->reservePages(16 * kPage));
        std::vector<uint32_t> frames;
        for (int i = 0; i < manager->mappedCount(); ++i)
            frames.push_back(manager->table()[i].paddr);
        return frames;
    };
    memory.reset();
    std::vector<uint32_t> first = framesOfOneBoot(7);
    EXPECT_EQ(framesOfOneBoot(7), first);
    EXPECT_NE(framesOfOneBoot(8), first);
}

// The region is reserved in whole 64 KB steps; only the pages the table
// needs are committed, so only they take frames.
TEST_F(MemoryManagerTest, OneByteCommitsOnePageOfA64KRegion) {
    ASSERT_TRUE(memory->reservePages(1));
    EXPECT_EQ(console.text(), "address translation table 1 pages. (0x8 bytes)\n"
                              "allocated 1 page. mapped 1 page.\n");
    EXPECT_EQ(memory->mappedCount(), 1);
    EXPECT_EQ(process().regionSize(memory->table()[0].vaddr), 0x10000u);
    EXPECT_EQ(ram().framesInUse(), 1u);
}

TEST_F(MemoryManagerTest, ZeroBytesReserveNothing) {
    EXPECT_FALSE(memory->reservePages(0));
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(process().regionCount(), 0u);
}

TEST_F(MemoryManagerTest, LockPagesFailingMidRegionShortensTheTable) {
    device().memory.lock_fail_at = 7;
    ASSERT_TRUE(memory->reservePages(20 * kPage));
    EXPECT_EQ(console.text(), "address translation table 20 pages. (0xa0 bytes)\n"
                              "page#7 not found\n"
                              "allocated 20 page. mapped 7 page.\n");
    ASSERT_EQ(memory->mappedCount(), 7);
    MemoryManager::Page page;
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(memory->getPage(page));
        EXPECT_EQ(page.paddr, process().physicalAddress(page.vaddr));
    }
    console.output.clear();
    EXPECT_FALSE(memory->getPage(page));
    EXPECT_EQ(console.text(), "page insufficient.\n");
}

TEST_F(MemoryManagerTest, PagesComeFromBothEndsUntilNoneIsLeft) {
    ASSERT_TRUE(memory->reservePages(3 * kPage));
    const MemoryManager::TableEntry* table = memory->table();
    console.output.clear();
    MemoryManager::Page page;
    ASSERT_TRUE(memory->getPageFromEnd(page));
    EXPECT_EQ(page.vaddr, table[2].vaddr);
    EXPECT_EQ(page.paddr, table[2].paddr);
    ASSERT_TRUE(memory->getPageFromEnd(page));
    EXPECT_EQ(page.paddr, table[1].paddr);
    ASSERT_TRUE(memory->getPage(page));
    EXPECT_EQ(page.paddr, table[0].paddr);
    EXPECT_EQ(console.text(), "");

    EXPECT_FALSE(memory->getPage(page));
    EXPECT_EQ(console.text(), "page insufficient.\n");
    console.output.clear();
    EXPECT_FALSE(memory->getPageFromEnd(page));
    EXPECT_EQ(console.text(), "");
}

TEST_F(MemoryManagerTest, NoPagesBeforeReservation) {
    MemoryManager::Page page;
    EXPECT_FALSE(memory->getPage(page));
    EXPECT_EQ(console.text(), "page insufficient.\n");
    console.output.clear();
    EXPECT_FALSE(memory->getPageFromEnd(page));
    MemoryManager::TaggedPage tagged;
    EXPECT_FALSE(memory->getTaggedPage(tagged));
    EXPECT_EQ(console.text(), "page insufficient.\n");
}

TEST_F(MemoryManagerTest, TaggedPageClearsItsLinkSlot) {
    ASSERT_TRUE(memory->reservePages(2 * kPage));
    const MemoryManager::TableEntry first = memory->table()[0];
    std::vector<uint8_t> dirt(kPage, 0xEE);
    ASSERT_TRUE(ram().write(first.paddr, dirt.data(), kPage));

    MemoryManager::TaggedPage tagged;
    ASSERT_TRUE(memory->getTaggedPage(tagged));
    EXPECT_EQ(tagged.link_vaddr, first.vaddr);
    EXPECT_EQ(tagged.link_paddr, first.paddr);
    EXPECT_EQ(tagged.data_vaddr, first.vaddr + 16);
    EXPECT_EQ(tagged.data_paddr, first.paddr + 16);
    uint8_t bytes[20];
    ASSERT_TRUE(ram().read(first.paddr, bytes, sizeof bytes));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[16], 0xEE);
}

TEST_F(MemoryManagerTest, RefusedRegionReportsAndKeepsNothing) {
    device().memory.frame_limit = 0;
    EXPECT_FALSE(memory->reservePages(kPage));
    EXPECT_EQ(console.text(), "address translation table 1 pages. (0x8 bytes)\n"
                              "can't allocate memory\n");
    EXPECT_EQ(memory->table(), nullptr);
    EXPECT_EQ(process().regionCount(), 0u);
    EXPECT_EQ(ram().framesInUse(), 0u);
    MemoryManager::Page page;
    EXPECT_FALSE(memory->getPageFromEnd(page));
}

TEST_F(MemoryManagerTest, DestructorReleasesTheRegionAndItsFrames) {
    ASSERT_TRUE(memory->reservePages(100 * kPage));
    EXPECT_EQ(process().regionCount(), 1u);
    EXPECT_EQ(ram().framesInUse(), 100u);
    memory.reset();
    EXPECT_EQ(process().regionCount(), 0u);
    EXPECT_EQ(ram().framesInUse(), 0u);
}

// As program memory runs short Windows CE grants less per commit (16 KB in
// its limited-memory state, below 160 KB free) and keeps 48 KB free: the
// reservation asks again in smaller pieces. When free memory can't hold what
// it still needs with room to spare, it first asks the program once to give
// memory back (a file's body kept for later), and when not one page is
// granted it fails.
TEST_F(MemoryManagerTest, CommitsInSmallerPiecesAsMemoryRunsShortAndAsksForMemoryBack) {
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3100"));
    memory = makeManager();
    int releases = 0;
    memory->setMemoryRelease([&] {
        ++releases;
        return false;
    });
    ASSERT_TRUE(memory->reservePages(20 * kPage)) << console.text();
    EXPECT_EQ(releases, 0) << "plenty of memory: nothing is asked back";
    memory->releaseRegion();

    // Something else holds all program memory but 156 KB.
    device().memory.thresholds = sim::MemoryThresholds{0, 0, 0, UINT32_MAX, UINT32_MAX};
    uint32_t others_size = ram().freeFrames() * kPage - 156 * 1024;
    void* others = ce::VirtualAlloc(nullptr, others_size, ce::MEM_COMMIT, ce::PAGE_READWRITE);
    ASSERT_NE(others, nullptr);
    device().memory.thresholds = sim::MemoryThresholds{};
    uint64_t commits = device().failures.calls(sim::FallibleCall::VirtualAlloc);
    console.output.clear();
    ASSERT_TRUE(memory->reservePages(20 * kPage)) << console.text();
    EXPECT_EQ(memory->mappedCount(), 20);
    EXPECT_EQ(releases, 1);
    // The reservation of the space, then commits of at most four pages each.
    EXPECT_GE(device().failures.calls(sim::FallibleCall::VirtualAlloc) - commits, 1u + 20 / 4);

    // 120 KB of the 156 would leave less than 48 KB: the program is asked
    // once, gives nothing back, and the reservation fails.
    console.output.clear();
    EXPECT_FALSE(memory->reservePages(30 * kPage));
    EXPECT_EQ(releases, 2);
    EXPECT_NE(console.text().find("can't allocate memory\n"), std::string::npos) << console.text();
    EXPECT_EQ(ram().framesInUse(), others_size / kPage);
    // Memory the program gives back when asked is taken.
    memory->setMemoryRelease([&] {
        ++releases;
        return ce::VirtualFree(others, 0, ce::MEM_RELEASE) != 0;
    });
    EXPECT_TRUE(memory->reservePages(30 * kPage)) << console.text();
    EXPECT_EQ(releases, 3);
}

// A page lent from the front comes back and is handed out again; until then
// a reservation counts it as still needed.
TEST_F(MemoryManagerTest, LentPagesComeBackAndAreHandedOutAgain) {
    ASSERT_TRUE(memory->reservePages(3 * kPage));
    MemoryManager::Page lent, page;
    ASSERT_TRUE(memory->lendPage(lent));
    ASSERT_TRUE(memory->getPage(page));
    memory->returnPage(lent);
    ASSERT_TRUE(memory->getPage(page));
    EXPECT_EQ(page.paddr, lent.paddr);
    ASSERT_TRUE(memory->getPage(page));
    EXPECT_FALSE(memory->getPage(page));
}

TEST_F(MemoryManagerTest, SecondReservationReplacesTheFirst) {
    ASSERT_TRUE(memory->reservePages(20 * kPage));
    MemoryManager::Page page;
    ASSERT_TRUE(memory->getPage(page));
    ASSERT_TRUE(memory->reservePages(40 * kPage));
    EXPECT_EQ(process().regionCount(), 1u);
    EXPECT_EQ(memory->mappedCount(), 40);
    EXPECT_EQ(memory->nextPage(), 0);
}

TEST_F(MemoryManagerTest, UnlockFailureIsReportedButThePageCounts) {
    device().memory.unlock_fails = true;
    ASSERT_TRUE(memory->reservePages(2 * kPage));
    EXPECT_EQ(console.text(), "address translation table 2 pages. (0x10 bytes)\n"
                              "can't unlock pages\n"
                              "can't unlock pages\n"
                              "allocated 2 page. mapped 2 page.\n");
    EXPECT_EQ(memory->mappedCount(), 2);
    EXPECT_EQ(memory->table()[1].paddr, process().physicalAddress(memory->table()[1].vaddr));
}

TEST_F(MemoryManagerTest, ReportedFrameHasItsLow12BitsCleared) {
    device().memory.frame_low_bits = 0xABC;
    ASSERT_TRUE(memory->reservePages(kPage));
    uint8_t* vaddr = memory->table()[0].vaddr;
    ce::DWORD reported = 0;
    ASSERT_TRUE(sim::LockPages(vaddr, kPage, &reported, 1));
    ASSERT_TRUE(sim::UnlockPages(vaddr, kPage));
    EXPECT_EQ(reported & 0xFFF, 0xABCu);
    EXPECT_EQ(memory->searchPage(vaddr), reported & ~0xFFFu);
    EXPECT_EQ(memory->table()[0].paddr, reported & ~0xFFFu);
}

ce::BOOL reportFrameNumber(ce::LPVOID, ce::DWORD, ce::DWORD* frames, int) {
    frames[0] = 0x000A2345;
    return ce::TRUE;
}
ce::BOOL unlockNothing(ce::LPVOID, ce::DWORD) {
    return ce::TRUE;
}

TEST_F(MemoryManagerTest, PfnShiftTurnsFrameNumbersIntoAddresses) {
    MemoryManagerLockPages numbers(&reportFrameNumber, &unlockNothing, &slot, kPage, 12);
    uint8_t page[16];
    EXPECT_EQ(numbers.searchPage(page), 0xA2345000u);
}

TEST_F(MemoryManagerTest, LockedPagesAreUnlockedAgain) {
    ASSERT_TRUE(memory->reservePages(4 * kPage));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(process().lockCount(memory->table()[i].vaddr), 0) << i;
}

TEST_F(MemoryManagerTest, BanksAreRecordedAndPrinted) {
    memory->addBank(0xA0000000, 0x04000000);
    memory->addBank(0xA8000000, 0x01000000);
    EXPECT_EQ(console.text(), "[0] 0xa0000000 size 0x04000000\n[1] 0xa8000000 size 0x01000000\n");
    ASSERT_EQ(memory->bankCount(), 2);
    EXPECT_EQ(memory->bank(1).address, 0xA8000000u);
    EXPECT_EQ(memory->bank(1).size, 0x01000000u);
    for (int i = 2; i < 20; ++i)
        memory->addBank(0xC0000000u + i, 1);
    EXPECT_EQ(memory->bankCount(), MemoryManager::kMaxBanks);
    EXPECT_TRUE(memory->init());
}

TEST_F(MemoryManagerTest, EstimateCountsWholeTaggedPages) {
    struct Case {
        uint32_t bytes;
        uint32_t expected;
    };
    for (Case c : {Case{0, 0}, Case{1, 4096}, Case{4080, 4096}, Case{4081, 8192}, Case{8160, 8192},
                   Case{8161, 12288}, Case{0xFFFFFFFFu, 0xFFFFFFFFu}})
        EXPECT_EQ(memory->estimateTaggedPageSize(c.bytes), c.expected) << c.bytes;
}

TEST_F(MemoryManagerTest, RoundingHelpers) {
    EXPECT_EQ(memory->roundPage(1), 4096u);
    EXPECT_EQ(memory->roundPage(4096), 4096u);
    EXPECT_EQ(memory->truncPage(8191), 4096u);
    EXPECT_EQ(MemoryManager::roundRegion(1), 0x10000u);
    EXPECT_EQ(MemoryManager::roundRegion(0x10001), 0x20000u);
}

// --- physical mappings ------------------------------------------------------

TEST_F(MemoryManagerTest, DeviceRegistersReachTheDeviceModel) {
    auto uart = std::make_shared<RecordingDevice>();
    uart->registers8[0x20] = 0x04;
    ram().attachDevice(0x80050000, 0x100, uart);

    volatile uint8_t* mapped = memory->mapPhysicalPage(0x80050010, 4, ce::PAGE_READWRITE);
    ASSERT_NE(mapped, nullptr);
    volatile uint8_t* page = mapped - 0x10;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(page) % kPage, 0u);
    EXPECT_EQ(process().regionSize(const_cast<uint8_t*>(page)), kPage);
    EXPECT_EQ(process().physicalAddress(mapped), 0x80050010u);

    EXPECT_EQ(readRegister8(page + 0x20), 0x04);
    writeRegister8(mapped + 4, 'k');
    writeRegister32(page + 0x40, 0x12345678);
    ASSERT_EQ(uart->writes.size(), 2u);
    EXPECT_EQ(uart->writes[0], (RecordingDevice::Access{0x14, 'k', 8}));
    EXPECT_EQ(uart->writes[1], (RecordingDevice::Access{0x40, 0x12345678, 32}));
    EXPECT_EQ(console.text(), "");

    memory->unmapPhysicalPage(mapped);
    EXPECT_EQ(process().regionCount(), 0u);
    EXPECT_EQ(console.text(), "");
}

TEST_F(MemoryManagerTest, RangeAcrossPagesMapsEveryPage) {
    volatile uint8_t* mapped = memory->mapPhysicalPage(0x40E00FFE, 4, ce::PAGE_READWRITE);
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(process().regionSize(const_cast<uint8_t*>(mapped - 0xFFE)), 2 * kPage);
    EXPECT_EQ(process().physicalAddress(mapped + 2), 0x40E01000u);
    memory->unmapPhysicalPage(mapped);
    EXPECT_EQ(process().regionCount(), 0u);
}

TEST_F(MemoryManagerTest, UnmodelledDeviceReadsZeroAndIgnoresWrites) {
    // The clock manager: no model answers there.
    volatile uint8_t* clocks = memory->mapPhysicalPage(0x41300000, 4096, ce::PAGE_READWRITE);
    ASSERT_NE(clocks, nullptr);
    writeRegister32(clocks + 0x04, 0xF0);
    EXPECT_EQ(readRegister32(clocks + 0x04), 0u);
    EXPECT_EQ(readRegister8(clocks + 0x04), 0u);
    memory->unmapPhysicalPage(clocks);
}

TEST_F(MemoryManagerTest, RamMappingAliasesTheFrames) {
    uint32_t paddr = ram().base() + 0x123450;
    const char text[] = "frame";
    ASSERT_TRUE(ram().write(paddr, text, sizeof text));
    volatile uint8_t* mapped = memory->mapPhysicalPage(paddr, sizeof text, ce::PAGE_READWRITE);
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(std::memcmp(const_cast<uint8_t*>(mapped), text, sizeof text), 0);
    writeRegister8(mapped, 'F');
    EXPECT_EQ(*ram().hostAddress(paddr), 'F');
    memory->unmapPhysicalPage(mapped);
}

TEST_F(MemoryManagerTest, AbsentDeviceCannotBeMapped) {
    device().memory.absent_ranges.push_back({0x40100000, 0x1000});
    EXPECT_EQ(memory->mapPhysicalPage(0x40100000, 0x100, ce::PAGE_READWRITE), nullptr);
    EXPECT_EQ(console.text(), "can't map physical address 0x40100000\n");
    EXPECT_EQ(process().regionCount(), 0u);
}

TEST_F(MemoryManagerTest, RangeBeyondTheAddressSpaceCannotBeMapped) {
    EXPECT_EQ(memory->mapPhysicalPage(0xFFFFF000, 0x2000, ce::PAGE_READWRITE), nullptr);
    EXPECT_EQ(console.text(), "can't map physical address 0xfffff000\n");
    EXPECT_EQ(process().regionCount(), 0u);
}

TEST_F(MemoryManagerTest, ReleasingAnUnmappedAddressIsReported) {
    uint8_t not_mapped[16];
    memory->unmapPhysicalPage(not_mapped);
    EXPECT_EQ(console.text(), "can't release memory\n");
}

// Pages whose frames lie where the kernel goes never enter the table: where
// its bytes go they carry them in place, where it is cleared they are held
// back until the kernel is loaded and given back then; more is reserved until
// the table holds what is left to carry.
class KernelPlacePages : public MemoryManagerTest {
  protected:
    void SetUp() override {
        MemoryManagerTest::SetUp();
        memory->addBank(ram().base(), ram().size());
        // Frames come from the lower half, nearly all of which is the kernel's.
        device().memory.placement = sim::FramePlacement::LowerHalf;
        kernel = {ram().base(), uint64_t{ram().base()} + ram().size() / 2 - 64 * kPage};
        console.output.clear();
    }
    // Frames in use inside the kernel's place.
    int framesInUseInKernel() {
        int count = 0;
        for (uint64_t frame = kernel.start; frame < kernel.end; frame += kPage)
            count += ram().frameInUse(static_cast<uint32_t>(frame)) ? 1 : 0;
        return count;
    }
    void expectTableOutsideTheKernel(int pages) {
        std::set<uint32_t> frames;
        for (int i = 0; i < pages; ++i) {
            uint32_t paddr = memory->table()[i].paddr;
            EXPECT_TRUE(paddr >= kernel.end || paddr < kernel.start) << std::hex << paddr;
            EXPECT_EQ(paddr, process().physicalAddress(memory->table()[i].vaddr));
            frames.insert(paddr);
        }
        EXPECT_EQ(frames.size(), static_cast<size_t>(pages));
    }
    MemoryManager::Stretch kernel{};
};

TEST_F(KernelPlacePages, WhereTheKernelIsClearedPagesAreHeldBackThenGivenBack) {
    memory->placeKernel({{kernel, true}});
    const int pages = 96; // more than the lower half has outside the kernel
    ASSERT_TRUE(memory->reservePages(pages * kPage));
    ASSERT_EQ(memory->mappedCount(), pages);
    EXPECT_GT(memory->heldBackCount(), 0);
    EXPECT_EQ(memory->inPlaceCount(), 0);
    expectTableOutsideTheKernel(pages);
    EXPECT_GT(process().regionCount(), 1u);
    // Held while the kernel is loaded, so that the OS can't hand them out again, then given back.
    EXPECT_EQ(framesInUseInKernel(), memory->heldBackCount());
    memory->giveBackHeldBack();
    EXPECT_EQ(framesInUseInKernel(), 0);
    EXPECT_NE(console.text().find(std::to_string(memory->heldBackCount()) +
                                  " pages held back: their frames lie where the kernel goes.\n"),
              std::string::npos)
        << console.text();
    memory.reset();
    EXPECT_EQ(process().regionCount(), 0u);
}

TEST_F(KernelPlacePages, WhereTheKernelsBytesGoPagesCarryThemInPlaceAndTheTableNeedsFewer) {
    // An eighth of RAM for the kernel's bytes, then a little cleared after
    // them (so its last frame may be in place too): program memory holds it.
    kernel.end = kernel.start + ram().size() / 8;
    memory->placeKernel({{kernel, false}, {{kernel.end, kernel.end + kPage}, true}});
    const uint64_t kernel_frames = (kernel.end - kernel.start) / kPage;
    const int pages = static_cast<int>(kernel_frames * kPage / 4080) + 2;
    ASSERT_TRUE(memory->reservePages(pages * kPage)) << console.text();
    const int in_place = memory->inPlaceCount();
    EXPECT_GT(in_place, pages / 8) << console.text();
    // Every frame the kernel's bytes fill is carried in place or by a page of the table.
    EXPECT_LT(memory->mappedCount(), pages);
    EXPECT_GE(static_cast<uint64_t>(memory->mappedCount()) * 4080 + uint64_t(in_place) * kPage,
              kernel_frames * kPage);
    expectTableOutsideTheKernel(memory->mappedCount());
    EXPECT_EQ(framesInUseInKernel(), in_place);
    // inPlace names the page whose frame is there, at the byte's offset.
    int found = 0;
    for (uint64_t frame = kernel.start; frame < kernel.end; frame += kPage) {
        uint8_t* at = memory->inPlace(static_cast<uint32_t>(frame) + 12);
        if (at == nullptr)
            continue;
        ++found;
        EXPECT_EQ(process().physicalAddress(at - 12), frame);
    }
    EXPECT_EQ(found, in_place);
    EXPECT_NE(
        console.text().find(std::to_string(in_place) +
                            " pages in place: their frames lie where the kernel goes and carry its bytes.\n"),
        std::string::npos)
        << console.text();
}

TEST_F(KernelPlacePages, RamOutsideTheClearedKernelTooSmallIsRefusedWithBothSizes) {
    memory->placeKernel({{{ram().base(), uint64_t{ram().base()} + ram().size() - 16 * kPage}, true}});
    EXPECT_FALSE(memory->reservePages(32 * kPage));
    EXPECT_EQ(console.text(), "RAM outside the kernel's destinations (0x10000 bytes) can't hold the kernel "
                              "(0x20000 bytes).\n");
    EXPECT_EQ(process().regionCount(), 0u);
}

TEST_F(KernelPlacePages, RunningOutOfFramesWhileReservingMoreFailsAndGivesAllBack) {
    memory->placeKernel({{kernel, true}});
    device().memory.frame_limit = ram().framesInUse() + 128; // the first region, not a second
    EXPECT_FALSE(memory->reservePages(96 * kPage));
    EXPECT_NE(console.text().find("RAM outside the kernel's destinations can't hold the kernel: "),
              std::string::npos)
        << console.text();
    EXPECT_EQ(process().regionCount(), 0u);
    EXPECT_EQ(memory->table(), nullptr);
}

// A reservation made before the kernel's last places are known (its symbols,
// the image after them): frames where the kernel may still go are kept aside
// and nothing is said; the final placeKernel sorts them, and the table's pages
// not yet handed out, by the final places, and the next reservation completes
// the first one and reports it.
TEST_F(KernelPlacePages, AProvisionalReservationIsSortedAgainByTheFinalPlaces) {
    const uint64_t quarter = (kernel.end - kernel.start) / 4 & ~uint64_t{kPage - 1};
    const MemoryManager::Stretch bytes{kernel.start, kernel.start + quarter};
    const MemoryManager::Stretch maybe{bytes.end, bytes.end + 2 * quarter};
    const MemoryManager::Stretch symbols{maybe.start, maybe.start + quarter};
    auto inUse = [&](const MemoryManager::Stretch& range) {
        int count = 0;
        for (uint64_t frame = range.start; frame < range.end; frame += kPage)
            count += ram().frameInUse(static_cast<uint32_t>(frame)) ? 1 : 0;
        return count;
    };
    memory->placeKernel({{bytes, false}, {maybe, false, true}});
    memory->reserveProvisionally(4);
    const int pages = 64;
    ASSERT_TRUE(memory->reservePages(pages * kPage));
    EXPECT_TRUE(memory->provisional());
    EXPECT_EQ(console.text(), "");
    const int kept_aside = inUse(maybe);
    EXPECT_GT(kept_aside, 0);
    const int in_place = memory->inPlaceCount();
    EXPECT_EQ(in_place, inUse(bytes));
    MemoryManager::Page handed;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(memory->getPage(handed));

    // Only the first half of the place kept aside is the kernel's after all.
    memory->placeKernel({{bytes, false}, {symbols, false}});
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(memory->inPlaceCount(), inUse(bytes) + inUse(symbols));
    ASSERT_TRUE(memory->reservePages(pages * kPage)) << console.text();
    EXPECT_FALSE(memory->provisional());
    EXPECT_EQ(console.text().rfind("address translation table 64 pages. (0x200 bytes)\n", 0), 0u)
        << console.text();
    EXPECT_NE(console.text().find("allocated 64 page. mapped "), std::string::npos) << console.text();
    // The table lies outside the final places; the frames of the other half joined it.
    for (int i = 0; i < memory->mappedCount(); ++i) {
        uint32_t paddr = memory->table()[i].paddr;
        EXPECT_FALSE(paddr >= bytes.start && paddr < symbols.end) << std::hex << paddr;
    }
    EXPECT_GT(memory->inPlaceCount(), in_place);
}

// Which frame of the kernel's place may carry its bytes: the memory manager's
// pages lie at the frames the test names, in that order.
TEST_F(MemoryManagerTest, AFrameOfTheKernelsPlaceCarriesItsBytesOnlyWhereNothingElseWritesThem) {
    using Range = MemoryManager::KernelRange;
    struct Case {
        const char* what;
        std::vector<Range> kernel;
        uint32_t frame;
        bool in_place;
    };
    const Case cases[] = {
        {"inside the bytes",
         {{{0xC0000000, 0xC0010000}, false}, {{0xC0010000, 0xC0020000}, true}},
         0xC0004000,
         true},
        {"bytes and clearing side by side",
         {{{0xC0000000, 0xC0000800}, false}, {{0xC0000800, 0xC0003000}, true}},
         0xC0000000,
         true},
        {"only cleared",
         {{{0xC0000000, 0xC0000800}, false}, {{0xC0000800, 0xC0003000}, true}},
         0xC0001000,
         false},
        {"bytes a later clearing stores over",
         {{{0xC0000000, 0xC0004000}, false},
          {{0xC0001800, 0xC0003000}, true},
          {{0xC0004000, 0xC0005000}, true}},
         0xC0001000,
         false},
        {"the last frame of the list's last range", {{{0xC0000000, 0xC0004000}, false}}, 0xC0003000, false},
        {"an earlier frame of it", {{{0xC0000000, 0xC0004000}, false}}, 0xC0002000, true},
        {"outside the kernel", {{{0xC0000000, 0xC0004000}, false}}, 0xC0008000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The frame under test, then frames well away from the kernel for the table.
        std::vector<uint32_t> frames = {c.frame};
        for (uint32_t i = 0; i < 64; ++i)
            frames.push_back(0xC1000000 + i * kPage);
        ScriptedMemory memory(&slot, frames);
        memory.placeKernel(c.kernel);
        ASSERT_TRUE(memory.reservePages(16 * kPage));
        EXPECT_EQ(memory.inPlaceCount(), c.in_place ? 1 : 0);
        EXPECT_EQ(memory.inPlace(c.frame + 4) != nullptr, c.in_place);
        bool in_table = memory.table()[0].paddr == c.frame;
        bool outside = c.frame >= 0xC0008000;
        EXPECT_EQ(in_table, outside);
        EXPECT_EQ(memory.heldBackCount(), !c.in_place && !outside ? 1 : 0);
    }
}

} // namespace
