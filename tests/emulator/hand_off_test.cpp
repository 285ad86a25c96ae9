// The hand-off on Unicorn after a real boot: the jump routine, the second
// stage and the kernel entry as the ARM code really runs them, against the
// page-list replay and the kernel file.
#include "loader/elf_facts.h"
#include "sim/emulator/hand_off_code.h"
#include "sim/emulator/unicorn_machine.h"
#include "sim/page_list_replay.h"
#include "sim/physical_memory.h"
#include "sim/process_memory.h"
#include "support/kernel_boot.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

struct Machine {
    const char16_t* name;
    uint32_t kernel_base; // where a kernel linked at 0xC0200000 lands
};

const Machine kMachines[] = {
    {u"HP Jornada 720 (US/UK)", 0xC0200000},  // SA-1110
    {u"HP Jornada 820", 0xC0200000},          // SA-1100
    {u"Compaq iPAQ H3900", 0xA0200000},       // PXA250
    {u"Sharp W-ZERO3 (WS003SH)", 0xA0200000}, // PXA270
};

std::vector<uint8_t> ramBytes(uint32_t paddr, uint32_t size) {
    std::vector<uint8_t> bytes(size);
    if (size != 0) {
        EXPECT_TRUE(sim::PhysicalMemory::get().read(paddr, bytes.data(), size));
    }
    return bytes;
}

std::vector<uint8_t> fileBytes(const std::string& file, uint32_t offset, uint32_t size) {
    return std::vector<uint8_t>(file.begin() + offset, file.begin() + offset + size);
}

class HandOffOnUnicorn : public KernelBoot {
  protected:
    bool boot(const Machine& machine, const std::string& kernel) {
        KernelBootSettings settings;
        settings.profile = &profileNamed(machine.name);
        settings.kernel = kernelPath(kernel);
        return bootToJump(settings);
    }
};

TEST_F(HandOffOnUnicorn, SecondStageWritesWhatTheReplayPredictsAndEntersTheKernel) {
    ElfFacts facts = readElfFacts(kernelPath("three_segments"));
    std::string file = readBytes(kernelPath("three_segments"));
    for (const Machine& machine : kMachines) {
        SCOPED_TRACE(utf16ToUtf8(machine.name));
        TearDown();
        SetUp();
        ASSERT_TRUE(boot(machine, "three_segments"));
        sim::ReplayResult replay =
            sim::replayPageList(hand_off->list_paddr, hand_off->routine, hand_off->args_paddr);
        ASSERT_TRUE(replay.ok) << replay.error;
        ASSERT_TRUE(replay.hazards.empty());

        sim::HandOffRun run = sim::runOnUnicorn(*hand_off);
        ASSERT_TRUE(run.started) << run.result.reason;
        // The kernel's entry is a branch to itself.
        EXPECT_EQ(run.result.stop, sim::EmulationStop::kHalted) << sim::describeStop(run);
        EXPECT_EQ(run.result.state.r[15], machine.kernel_base);

        ASSERT_TRUE(run.second_stage.reached);
        EXPECT_EQ(run.second_stage.state.r[0], hand_off->args_paddr);
        EXPECT_EQ(run.second_stage.state.r[1], hand_off->list_paddr);
        EXPECT_EQ(run.second_stage.state.r[2], hand_off->sp);
        EXPECT_EQ(run.second_stage.state.cpsr & 0xDF, 0xDFu) << "System mode, IRQ and FIQ masked";
        EXPECT_EQ(run.second_stage.control & 0x100D, 0u) << "MMU, caches and write buffer off";

        ASSERT_TRUE(run.kernel.reached);
        EXPECT_EQ(run.kernel.state.r[15], replay.entry);
        EXPECT_EQ(run.kernel.state.r[15], machine.kernel_base);
        EXPECT_EQ(run.kernel.state.r[0], replay.argc);
        EXPECT_EQ(run.kernel.state.r[1], replay.argv);
        EXPECT_EQ(run.kernel.state.r[2], replay.boot_info);
        EXPECT_EQ(run.kernel.state.r[13], replay.stack_pointer);
        EXPECT_EQ(run.kernel.state.cpsr & 0xDF, 0xDFu);
        EXPECT_EQ(run.kernel.control & 0x100D, 0u);

        for (const auto& [start, size] : replay.memory.ranges())
            EXPECT_EQ(ramBytes(start, size), replay.memory.read(start, size)) << std::hex << start;
        for (const ElfFacts::Segment& segment : facts.loads) {
            uint32_t at = machine.kernel_base + (segment.paddr - 0xC0200000);
            EXPECT_EQ(ramBytes(at, segment.filesz), fileBytes(file, segment.offset, segment.filesz));
            EXPECT_EQ(ramBytes(at + segment.filesz, segment.memsz - segment.filesz),
                      std::vector<uint8_t>(segment.memsz - segment.filesz, 0));
        }
    }
}

TEST_F(HandOffOnUnicorn, KernelStackLiesEightKilobytesAboveTheLastRangeOnAPageBoundary) {
    ASSERT_TRUE(boot(kMachines[3], "three_segments"));
    sim::ReplayResult replay =
        sim::replayPageList(hand_off->list_paddr, hand_off->routine, hand_off->args_paddr);
    ASSERT_TRUE(replay.ok);
    // The last range written is the string table of the symbol block.
    uint32_t last_end = replay.memory.ranges().back().first + replay.memory.ranges().back().second;
    sim::HandOffRun run = sim::runOnUnicorn(*hand_off);
    ASSERT_TRUE(run.kernel.reached);
    EXPECT_EQ(run.kernel.state.r[13], ((last_end + 0x2000) & ~0xFFFu));
}

TEST_F(HandOffOnUnicorn, ZeroClearStartingInsideAWordKeepsTheDataBytesBeforeIt) {
    ElfFacts facts = readElfFacts(kernelPath("word_tail"));
    std::string file = readBytes(kernelPath("word_tail"));
    const ElfFacts::Segment& data = facts.loads.at(1);
    ASSERT_NE(data.filesz % 4, 0u);
    for (const Machine& machine : {kMachines[0], kMachines[2]}) {
        SCOPED_TRACE(utf16ToUtf8(machine.name));
        TearDown();
        SetUp();
        ASSERT_TRUE(boot(machine, "word_tail"));
        sim::HandOffRun run = sim::runOnUnicorn(*hand_off);
        ASSERT_TRUE(run.kernel.reached) << sim::describeStop(run);
        uint32_t at = machine.kernel_base + (data.paddr - 0xC0200000);
        EXPECT_EQ(ramBytes(at, data.filesz), fileBytes(file, data.offset, data.filesz));
        EXPECT_EQ(ramBytes(at + data.filesz, data.memsz - data.filesz),
                  std::vector<uint8_t>(data.memsz - data.filesz, 0));
    }
}

TEST_F(HandOffOnUnicorn, RamTheLoaderDoesNotUseHoldsLeftoversUntilTheSecondStageWritesIt) {
    ASSERT_TRUE(boot(kMachines[0], "three_segments"));
    // The second stage never starts: the first instruction of the stub is the limit.
    sim::HandOffLimits limits;
    limits.instruction_limit = 1;
    sim::HandOffRun run = sim::runOnUnicorn(*hand_off, limits);
    EXPECT_EQ(run.result.stop, sim::EmulationStop::kInstructionLimit);
    std::vector<uint8_t> word = ramBytes(0xC0202000 + 0x3000, 4); // inside the bss
    EXPECT_EQ(word, (std::vector<uint8_t>{0xF0, 0x00, 0xF0, 0xE7}));
    std::vector<uint8_t> code = sim::handOffCode(*hand_off);
    EXPECT_EQ(ramBytes(hand_off->jump_paddr, static_cast<uint32_t>(code.size())), code);
    EXPECT_FALSE(sim::PhysicalMemory::get().frameInUse(hand_off->jump_paddr));
}

// The kernel's places as its file names them get leftovers too, whether or
// not a link goes there: a free page wholly, a page the loader holds (one in
// place) only where the kernel is cleared, from the word after its bytes.
TEST_F(HandOffOnUnicorn, TheKernelsPlacesStartWithLeftoversExceptTheBytesInPlace) {
    ASSERT_TRUE(boot(kMachines[0], "three_segments"));
    sim::PhysicalMemory& ram = sim::PhysicalMemory::get();
    auto* held = static_cast<uint8_t*>(ce::VirtualAlloc(nullptr, 4096, ce::MEM_COMMIT, ce::PAGE_READWRITE));
    ASSERT_NE(held, nullptr);
    std::memset(held, 0x11, 4096);
    uint32_t in_place = sim::ProcessMemory::get().physicalAddress(held);
    uint32_t free_page = 0;
    for (uint32_t paddr = ram.base(); paddr < ram.base() + ram.size() && free_page == 0; paddr += 4096) {
        if (!ram.frameInUse(paddr) && paddr != hand_off->jump_paddr &&
            (paddr < 0xC0200000 || paddr >= 0xC0300000))
            free_page = paddr;
    }
    ASSERT_NE(free_page, 0u);
    sim::ExpectedPlacement expected;
    expected.ranges = {{in_place, 0x892, std::vector<uint8_t>(0x892, 0x11)},
                       {in_place + 0x892, 4096 - 0x892, {}},
                       {free_page, 100, std::vector<uint8_t>(100, 0x22)}};
    ASSERT_TRUE(sim::prepareHandOffRam(*hand_off, &expected));
    const std::vector<uint8_t> word = {0xF0, 0x00, 0xF0, 0xE7};
    EXPECT_EQ(ramBytes(in_place, 0x894), std::vector<uint8_t>(0x894, 0x11));
    for (uint32_t at = 0x894; at < 4096; at += 4)
        ASSERT_EQ(ramBytes(in_place + at, 4), word) << std::hex << at;
    EXPECT_EQ(ramBytes(free_page + 4092, 4), word);
    ce::VirtualFree(held, 0, ce::MEM_RELEASE);
}

TEST_F(HandOffOnUnicorn, AFaultIsReportedWithItsAddressPcAndMode) {
    ASSERT_TRUE(boot(kMachines[0], "three_segments"));
    // The argument page names an entry where nothing is mapped.
    uint8_t entry[4] = {0x00, 0x01, 0x00, 0x00};
    ASSERT_TRUE(sim::PhysicalMemory::get().write(hand_off->args_paddr, entry, 4));
    sim::HandOffRun run = sim::runOnUnicorn(*hand_off);
    EXPECT_EQ(run.result.stop, sim::EmulationStop::kFault);
    EXPECT_TRUE(run.result.has_fault_address);
    EXPECT_EQ(run.result.fault_address, 0x100u);
    EXPECT_EQ(run.result.reason, "instruction fetch from unmapped address 0x00000100");
    EXPECT_EQ(
        sim::describeStop(run),
        "Unicorn SA-1110: instruction fetch from unmapped address 0x00000100, pc 0x00000100, mode System");
}

TEST_F(HandOffOnUnicorn, ACopyToWhereNothingIsIsAFaultAtTheStoreInTheSecondStage) {
    ASSERT_TRUE(boot(kMachines[0], "three_segments"));
    // The first link's destination: no memory there on the SA-11x0.
    uint8_t nowhere[4] = {0x00, 0x10, 0x00, 0x00};
    ASSERT_TRUE(sim::PhysicalMemory::get().write(hand_off->list_paddr + 8, nowhere, 4));
    sim::HandOffRun run = sim::runOnUnicorn(*hand_off);
    EXPECT_EQ(run.result.stop, sim::EmulationStop::kFault);
    EXPECT_EQ(run.result.reason, "write to unmapped address 0x00001000");
    uint32_t pc = run.result.state.r[15];
    ASSERT_GE(pc, hand_off->code_paddr);
    ASSERT_LT(pc, hand_off->code_paddr + 4096);
    // A store with post-increment whose base register held the destination.
    uint8_t word[4];
    ASSERT_TRUE(sim::PhysicalMemory::get().read(pc, word, 4));
    uint32_t instruction =
        uint32_t{word[0]} | (uint32_t{word[1]} << 8) | (uint32_t{word[2]} << 16) | (uint32_t{word[3]} << 24);
    EXPECT_EQ(instruction & 0x0F700000, 0x04000000u) << std::hex << instruction; // STR, post-indexed
    EXPECT_EQ(run.result.state.r[(instruction >> 16) & 15], 0x1000u);
    EXPECT_FALSE(run.kernel.reached);
}

TEST_F(HandOffOnUnicorn, TheInstructionLimitStopsAKernelThatRunsOn) {
    KernelBootSettings settings;
    settings.profile = &profileNamed(u"Sharp W-ZERO3 (WS003SH)");
    settings.kernel = kernelPath("probe");
    ASSERT_TRUE(bootToJump(settings));
    sim::HandOffLimits limits;
    limits.instruction_limit = 2000;
    sim::HandOffRun run = sim::runOnUnicorn(*hand_off, limits);
    EXPECT_EQ(run.result.stop, sim::EmulationStop::kInstructionLimit);
    EXPECT_GE(run.result.instructions, 2000u);
    EXPECT_LT(run.result.instructions, 2100u);
    EXPECT_EQ(run.result.reason, "instruction limit of 2000 reached");
}

} // namespace
