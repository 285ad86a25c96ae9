// The boot refuses a page list whose kernel would be put over the loader's
// own pages, instead of entering a kernel copied over itself.
#include "arch/architecture.h"
#include "arch/arm/pxa2x0_architecture.h"
#include "arch/arm/sa1100_architecture.h"
#include "boot/boot_context.h"
#include "loader/elf_facts.h"
#include "loader/placement_check.h"
#include "memory/memory_manager.h"
#include "memory/memory_manager_lock_pages.h"
#include "sim/emulator/hand_off_code.h"
#include "sim/emulator/unicorn_machine.h"
#include "sim/memory_knobs.h"
#include "sim/page_list_replay.h"
#include "sim/physical_memory.h"
#include "support/byte_patch.h"
#include "support/kernel_boot.h"
#include "support/recording_console.h"
#include "support/scripted_memory.h"
#include "support/simulated_device.h"
#include "support/ufs_disk_images.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kPage = 4096;

uint32_t identity(uint32_t address) {
    return address;
}
// The move the simulated PXA2x0 second stage makes, which the hand-off tests
// check against the real ARM block.
uint32_t pxa2x0(uint32_t address) {
    return sim::secondStageAddress(address, sim::SecondStageVariant::kPxa2x0);
}

class PlacementCheck : public SimulatedDevice {
  protected:
    // The loader has taken every page but the last from the front; the last
    // is the stack page the jump takes.
    std::optional<PlacementConflict> check(std::vector<uint32_t> frames,
                                           const std::vector<Loader::Destination>& destinations,
                                           uint32_t (*final_address)(uint32_t) = identity) {
        uint32_t pages = static_cast<uint32_t>(frames.size());
        ScriptedMemory memory(&slot, std::move(frames));
        EXPECT_TRUE(memory.reservePages(pages * kPage));
        MemoryManager::Page page{};
        for (uint32_t i = 0; i + 1 < pages; ++i)
            EXPECT_TRUE(memory.getPage(page));
        return findPlacementConflict(memory, destinations, final_address);
    }

    RecordingConsole console;
    Console* slot = &console;
};

TEST_F(PlacementCheck, FindsTheFirstPageInsideAFinalRange) {
    struct Case {
        const char* what;
        std::vector<uint32_t> frames;
        std::vector<Loader::Destination> destinations;
        uint32_t (*final_address)(uint32_t);
        std::optional<uint32_t> page; // the conflicting page, if any
    };
    const Case cases[] = {
        {"pages above the kernel", {0xC2000000, 0xC2001000}, {{0xC0200000, 0xC0300000}}, identity, {}},
        {"a page in a segment", {0xC2000000, 0xC0250000}, {{0xC0200000, 0xC0300000}}, identity, 0xC0250000},
        {"the word just past a range", {0xC0300000}, {{0xC0200000, 0xC0300000}}, identity, {}},
        {"the last word of a range", {0xC02FF000}, {{0xC0200000, 0xC0300000}}, identity, 0xC02FF000},
        {"a long range begun before short ones",
         {0xC0380000},
         {{0xC0100000, 0xC0400000}, {0xC0200000, 0xC0201000}, {0xC0300000, 0xC0301000}},
         identity,
         0xC0380000},
        {"a gap between segments",
         {0xC0250000},
         {{0xC0200000, 0xC0240000}, {0xC0260000, 0xC0300000}},
         identity,
         {}},
        {"PXA2x0 moves 0xC0.. into SDRAM bank 0",
         {0xA0250000},
         {{0xC0200000, 0xC0300000}},
         pxa2x0,
         0xA0250000},
        {"without the move it is elsewhere", {0xA0250000}, {{0xC0200000, 0xC0300000}}, identity, {}},
        {"a link is written on linearly from its moved start",
         {0xA1000000},
         {{0xC0FFF000, 0xC1001000}},
         pxa2x0,
         0xA1000000},
        {"a link 18 MB above the kernel stays there, not over its start",
         {0xA0200000},
         {{0xC1400000, 0xC1401000}},
         pxa2x0,
         {}},
        {"... and finds a page at its own place",
         {0xA1400000},
         {{0xC1400000, 0xC1401000}},
         pxa2x0,
         0xA1400000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<PlacementConflict> conflict = check(c.frames, c.destinations, c.final_address);
        ASSERT_EQ(conflict.has_value(), c.page.has_value());
        if (conflict) {
            EXPECT_EQ(conflict->page, *c.page);
        }
    }
}

TEST_F(PlacementCheck, SparePagesNobodyReadsMayLieInTheKernel) {
    // Front page, two spare pages, a page taken from the end, the stack page to come.
    ScriptedMemory memory(&slot, {0xC2000000, 0xC0201000, 0xC0202000, 0xC2003000, 0xC2004000});
    ASSERT_TRUE(memory.reservePages(5 * kPage));
    MemoryManager::Page page{};
    ASSERT_TRUE(memory.getPage(page));
    ASSERT_TRUE(memory.getPageFromEnd(page));
    const std::vector<Loader::Destination> kernel = {{0xC0200000, 0xC0300000}};
    EXPECT_FALSE(findPlacementConflict(memory, kernel, identity));
    // Once the loader takes one of them, it counts.
    ASSERT_TRUE(memory.getPage(page));
    std::optional<PlacementConflict> conflict = findPlacementConflict(memory, kernel, identity);
    ASSERT_TRUE(conflict);
    EXPECT_EQ(conflict->page, 0xC0201000u);
}

TEST_F(PlacementCheck, ThePxa2x0ArchitectureMovesAddressesAsItsSecondStageDoes) {
    Console* none = &console;
    MemoryManager* no_memory = nullptr;
    PXA2x0Architecture pxa(&none, &no_memory);
    for (uint32_t address :
         {0xC0200000u, 0xC0FFFFFCu, 0xC1000000u, 0xC1400000u, 0xA0200000u, 0xA3FFF000u, 0x00008000u})
        EXPECT_EQ(pxa.finalAddress(address), pxa2x0(address)) << std::hex << address;
}

TEST_F(PlacementCheck, NamesTheFinalRangeItFound) {
    std::optional<PlacementConflict> conflict = check({0xA0250000}, {{0xC0200000, 0xC0300000}}, pxa2x0);
    ASSERT_TRUE(conflict);
    EXPECT_EQ(conflict->destination_first, 0xA0200000u);
    EXPECT_EQ(conflict->destination_last, 0xA02FFFFFu);
}

TEST_F(PlacementCheck, ALinkMovedOutsideTheMemoryBanksIsRefused) {
    struct Case {
        const char* what;
        bool pxa2x0;
        std::vector<Loader::Destination> links;
        const char* message; // null: accepted
    };
    const Case cases[] = {
        {"SA-11x0: a kernel in bank 0", false, {{0xC0200000, 0xC0201000}}, nullptr},
        {"SA-11x0: a link below RAM",
         false,
         {{0xC0200000, 0xC0201000}, {0x00008000, 0x00009000}},
         "destination 0x00008000-0x00008fff goes to 0x00008000-0x00008fff, outside the memory banks.\n"},
        {"PXA2x0: a link 20 MB above the kernel", true, {{0xC1400000, 0xC1400FF0}}, nullptr},
        {"PXA2x0: a link written on past the SDRAM region",
         true,
         {{0xCFFFF800, 0xD00007F0}},
         "destination 0xcffff800-0xd00007ef goes to 0xaffff800-0xb00007ef, outside the memory banks.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryManagerLockPages memory_manager(&sim::LockPages, &sim::UnlockPages, &slot, kPage, 0);
        MemoryManager* memory_slot = &memory_manager;
        std::unique_ptr<Architecture> architecture;
        if (c.pxa2x0)
            architecture = std::make_unique<PXA2x0Architecture>(&slot, &memory_slot);
        else
            architecture = std::make_unique<SA1100Architecture>(&slot, &memory_slot);
        ASSERT_TRUE(architecture->init());
        console.output.clear();
        EXPECT_EQ(architecture->placeKernel(c.links), c.message == nullptr);
        EXPECT_EQ(console.text(), c.message == nullptr ? "" : c.message);
    }
}

struct OverlapMachine {
    const char16_t* name;
    uint32_t longest_bank_run; // the iPAQ's 64 MB are two banks 128 MB apart
};

class PlacementOnBoot : public KernelBoot, public ::testing::WithParamInterface<OverlapMachine> {
  protected:
    // The machine's settings for `kernel`, with Windows CE handing the loader
    // frames from the lower half of RAM, where the kernel goes.
    KernelBootSettings fromTheLowerHalf(const char* kernel) {
        KernelBootSettings settings;
        settings.profile = &profileNamed(GetParam().name);
        settings.kernel = kernelPath(kernel);
        device().memory.placement = sim::FramePlacement::LowerHalf;
        return settings;
    }
};

// With its pages drawn from the lower half of RAM, Windows CE gives the
// loader frames where the kernel's 29 MB bss goes: they are held back, more
// pages are reserved, and the kernel runs on what was placed.
TEST_P(PlacementOnBoot, PagesWhereTheKernelGoesAreHeldBackAndTheProbePasses) {
    KernelBootSettings settings = fromTheLowerHalf("probe_big_bss");
    ASSERT_TRUE(bootToJump(settings)) << page.text();
    EXPECT_NE(page.text().find("pages held back: their frames lie where the kernel goes."), std::string::npos)
        << page.text();
    std::string placed;
    std::string output = runUnicornVerified(settings, placed);
    EXPECT_EQ(probeVerdict(output), "PASS") << output;
    EXPECT_EQ(placed.rfind("placed image verified: ", 0), 0u) << placed;
}

// The frames held back where the bss goes are given back before the jump, so
// they start with leftovers like the rest of RAM: a zero-clear the second
// stage never does shows in every word of the range, theirs included.
TEST_P(PlacementOnBoot, AZeroClearNeverDoneLeavesLeftoversInEveryWordOfTheRange) {
    KernelBootSettings settings = fromTheLowerHalf("probe_big_bss");
    device().memory.drop_zero_link = 0;
    ASSERT_TRUE(bootToJump(settings)) << page.text();
    ASSERT_NE(page.text().find("pages held back"), std::string::npos) << page.text();
    const ElfFacts::Segment data = readElfFacts(kernelPath("probe_big_bss")).loads.at(1);
    uint32_t start = sim::secondStageAddress((data.paddr + data.filesz + 3) & ~3u, hand_off->routine);
    uint32_t end = start + (data.paddr + data.memsz - ((data.paddr + data.filesz + 3) & ~3u));
    // As --verify runs it: the kernel's places read from its file on the host.
    std::vector<uint8_t> kernel;
    std::string error;
    ASSERT_TRUE(sim::readHostFile(settings.kernel, kernel, error)) << error;
    sim::ExpectedPlacement expected = sim::expectedPlacement(kernel, {}, hand_off->routine);
    std::vector<uint32_t> not_leftover;
    sim::HandOffLimits limits;
    limits.expected = &expected;
    limits.at_kernel_entry = [&](const sim::PhysicalReader& read) {
        std::vector<uint8_t> bytes(end - start);
        ASSERT_TRUE(read(start, bytes.data(), end - start));
        for (uint32_t i = 0; i + 4 <= bytes.size(); i += 4) {
            uint32_t word = uint32_t{bytes[i]} | uint32_t{bytes[i + 1]} << 8 | uint32_t{bytes[i + 2]} << 16 |
                            uint32_t{bytes[i + 3]} << 24;
            if (word != sim::kLeftoverWord && not_leftover.size() < 4)
                not_leftover.push_back(start + i);
        }
    };
    sim::HandOffRun run = sim::runOnUnicorn(*hand_off, limits);
    ASSERT_TRUE(run.kernel.reached) << sim::describeStop(run);
    EXPECT_TRUE(not_leftover.empty()) << std::hex << not_leftover.front();
}

// With its pages drawn from the lower half of RAM, most of the frames Windows
// CE gives the loader lie where the probe's 20 MB of data goes: they carry
// those bytes in place, the page list copies nothing for them, and the probe
// finds every byte and its stack where they belong.
TEST_P(PlacementOnBoot, PagesWhereTheKernelsBytesGoCarryThemInPlaceAndTheProbePasses) {
    KernelBootSettings settings = fromTheLowerHalf("probe_20m");
    ASSERT_TRUE(bootToJump(settings)) << page.text();
    const std::string text = page.text();
    size_t line = text.find(" pages in place: their frames lie where the kernel goes and carry its bytes.");
    ASSERT_NE(line, std::string::npos) << text;
    int in_place = std::stoi(text.substr(text.rfind('\n', line) + 1));
    EXPECT_GT(in_place, 1000);
    // The replay stores nothing into the frames in place.
    sim::ReplayResult replay =
        sim::replayPageList(hand_off->list_paddr, hand_off->routine, hand_off->args_paddr);
    ASSERT_TRUE(replay.ok) << replay.error;
    const MemoryManager& memory = *BootContext::instance()->memory;
    ASSERT_EQ(memory.inPlaceCount(), in_place);
    // Frames in use where the kernel goes (up to its last range), which the replay leaves alone.
    const uint32_t base = sim::secondStageAddress(0xC0200000u, hand_off->routine);
    const auto [last_start, last_size] = replay.memory.ranges().back();
    int untouched = 0;
    for (uint32_t paddr = base; paddr < last_start + last_size; paddr += kPage) {
        if (sim::PhysicalMemory::get().frameInUse(paddr) && !replay.memory.touched(paddr, kPage))
            ++untouched;
    }
    // Only a zero-clear that meets the kernel's bytes inside a frame stores
    // into it: at most the frame at each end of a cleared range.
    EXPECT_LE(untouched, in_place);
    EXPECT_GE(untouched, in_place - 2 * static_cast<int>(replay.zero_links));
    // The pieces cut short by a frame in place share pages: their bytes do
    // not start right after a page's own link slot.
    int shared = 0;
    for (const auto& [next, src, dst, len] : pageListLinks())
        shared += src != sim::kZeroClearSource && (src & 0xFFF) != 16 ? 1 : 0;
    EXPECT_GT(shared, 0);
    std::string placed;
    std::string output = runUnicornVerified(settings, placed);
    EXPECT_EQ(probeVerdict(output), "PASS") << output;
    EXPECT_EQ(placed.rfind("placed image verified: ", 0), 0u) << placed;
}

TEST_P(PlacementOnBoot, WithPagesInTheUpperHalfNothingIsHeldBack) {
    KernelBootSettings settings;
    settings.profile = &profileNamed(GetParam().name);
    settings.kernel = kernelPath("probe_big_bss");
    device().memory.placement = sim::FramePlacement::UpperHalf;
    ASSERT_TRUE(bootToJump(settings)) << page.text();
    EXPECT_EQ(page.text().find("held back"), std::string::npos) << page.text();
}

// A segment larger than the machine's banks (the RAM it has) is refused when
// the kernel is opened, with the segment and both sizes, instead of failing
// after the jump: a damaged memory size, and a real 128 MB bss on a 64 MB machine.
TEST_P(PlacementOnBoot, ASegmentLargerThanTheMemoryBanksIsRefusedAtLoadTime) {
    ASSERT_EQ(profileNamed(GetParam().name).ram_size, 0x04000000u);
    ScratchFolder scratch;
    std::filesystem::path original = kernelPath("three_segments");
    std::string damaged = readBytes(original);
    put32(damaged, readElfFacts(original).phoff + 32 * 2 + 20, 0x34d00004); // p_memsz of segment 2
    writeHostFile(scratch / "oversized.elf", damaged);
    ElfFacts huge = readElfFacts(kernelPath("huge_bss"));
    ASSERT_EQ(huge.loads.size(), 2u);
    ASSERT_EQ(huge.loads[1].memsz, 0x08000004u); // the data word and the bss

    struct Case {
        std::filesystem::path kernel;
        const char* line;
    };
    const Case cases[] = {
        {scratch / "oversized.elf", "segment 2: mem size 0x34d00004 is larger than the machine's memory (0x"},
        {kernelPath("huge_bss"), "segment 1: mem size 0x8000004 is larger than the machine's memory (0x"},
    };
    char longest[32];
    std::snprintf(longest, sizeof longest, "%x bytes).\n", GetParam().longest_bank_run);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kernel.filename().string());
        device().message_boxes.clear();
        page.box.clear();
        KernelBootSettings settings;
        settings.profile = &profileNamed(GetParam().name);
        settings.kernel = c.kernel;
        EXPECT_FALSE(bootToJump(settings));
        ASSERT_FALSE(device().message_boxes.empty());
        EXPECT_EQ(device().message_boxes.back().text, u"Can't initialize loader.\n");
        EXPECT_NE(page.text().find(c.line + std::string(longest)), std::string::npos) << page.text();
    }
}

INSTANTIATE_TEST_SUITE_P(Machines, PlacementOnBoot,
                         ::testing::Values(OverlapMachine{u"Compaq iPAQ H3660", 0x02000000},
                                           OverlapMachine{u"Sharp W-ZERO3 (WS003SH)", 0x04000000}),
                         [](const ::testing::TestParamInfo<OverlapMachine>& info) {
                             return info.index == 0 ? std::string("SA1110") : std::string("PXA270");
                         });

} // namespace
