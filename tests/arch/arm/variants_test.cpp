// The SA-11x0 and PXA2x0 architectures: their banks, data-cache size,
// second-stage block and jump routine.
#include "arch/architecture_fixture.h"
#include "arch/arm/arm_code.h"
#include "arch/arm/pxa2x0_architecture.h"
#include "arch/arm/sa1100_architecture.h"

#include <string>
#include <vector>

namespace {

struct Variant {
    const char* name;
    const char16_t* profile;
    const char* announcement;
    uint32_t bank0;
    uint32_t bank_size;
    uint32_t dcache;
    const uint8_t* block;
    const size_t* block_size;
    const char* routine;
    const char* installed;     // what init prints on learning the profile's RAM
    uint32_t ram_size;         // the profile's RAM
    uint32_t memory_registers; // the memory controller's configuration register
};

const Variant kSA11x0{"SA11x0",
                      u"Compaq iPAQ H3600",
                      "ARM architecture.\nSA-11x0 CPU.\n",
                      0xC0000000,
                      0x08000000,
                      8192,
                      SecondStage_sa11x0,
                      &SecondStage_sa11x0_size,
                      "FlatJump_sa11x0",
                      "MDCNF = 0x72547255\n", // bank 0, SDRAM, DRAC 5 (14 row and bank bits), 32 bits: 32 MB
                      0x02000000,
                      0xA0000000};
const Variant kPXA2x0{"PXA2x0",
                      u"Sharp W-ZERO3 (WS003SH)",
                      "ARM architecture.\nPXA-2x0 CPU.\n",
                      0xA0000000,
                      0x04000000,
                      65536,
                      SecondStage_pxa2x0,
                      &SecondStage_pxa2x0_size,
                      "FlatJump_pxa2x0",
                      "MDCNFG = 0x000000c9\n", // 13 rows, 9 columns, 4 banks, 32 bits: 64 MB
                      0x04000000,
                      0x48000000};

// A memory manager whose initialisation fails.
class BrokenMemoryManager : public MemoryManager {
  public:
    using MemoryManager::MemoryManager;
    uint32_t searchPage(uint8_t*) override { return kNotFound; }
    bool init() override { return false; }
};

class VariantTest : public ArchitectureFixture, public ::testing::WithParamInterface<Variant> {
  protected:
    void SetUp() override {
        ArchitectureFixture::SetUp();
        useProfile(*sim::findDeviceProfile(GetParam().profile));
        architecture = make();
    }
    void TearDown() override {
        architecture.reset();
        ArchitectureFixture::TearDown();
    }
    std::unique_ptr<Architecture> make() {
        if (GetParam().bank0 == kSA11x0.bank0)
            return std::make_unique<SA1100Architecture>(&console_slot, &memory_slot);
        return std::make_unique<PXA2x0Architecture>(&console_slot, &memory_slot);
    }
    // Reserves the region and places the variant's block.
    void prepare() {
        ASSERT_TRUE(architecture->init());
        ASSERT_TRUE(architecture->allocateMemory(8192));
        ASSERT_TRUE(architecture->setupLoader());
        console.output.clear();
    }

    std::unique_ptr<Architecture> architecture;
};

TEST_P(VariantTest, ConstructorAnnouncesTheProcessor) {
    EXPECT_EQ(console.text(), GetParam().announcement);
}

TEST_P(VariantTest, InitRegistersTheInstalledRamAndTheCacheSize) {
    console.output.clear();
    dcache_size = 0;
    ASSERT_TRUE(architecture->init());

    const Variant& variant = GetParam();
    ASSERT_EQ(manager->bankCount(), 1);
    EXPECT_EQ(manager->bank(0).address, variant.bank0);
    EXPECT_EQ(manager->bank(0).size, variant.ram_size);
    char line[64];
    snprintf(line, sizeof line, "[0] 0x%08x size 0x%08x\n", variant.bank0, variant.ram_size);
    EXPECT_EQ(console.text(), std::string(variant.installed) + line +
                                  "D-cache size = " + std::to_string(variant.dcache) + "\n");
    EXPECT_EQ(dcache_size, variant.dcache);
}

// Where the memory controller cannot be read, the four largest banks stay,
// after the memory manager's message.
TEST_P(VariantTest, RegistersFourBanksInOrderWhenTheRamIsNotLearnt) {
    const Variant& variant = GetParam();
    device().memory.absent_ranges.push_back({variant.memory_registers, 0x1000});
    console.output.clear();
    ASSERT_TRUE(architecture->init());
    ASSERT_EQ(manager->bankCount(), 4);
    char line[64];
    snprintf(line, sizeof line, "can't map physical address 0x%08x\n", variant.memory_registers);
    std::string expected = line;
    for (uint32_t i = 0; i < 4; ++i) {
        uint32_t address = variant.bank0 + i * variant.bank_size;
        EXPECT_EQ(manager->bank(i).address, address);
        EXPECT_EQ(manager->bank(i).size, variant.bank_size);
        snprintf(line, sizeof line, "[%u] 0x%08x size 0x%08x\n", i, address, variant.bank_size);
        expected += line;
    }
    EXPECT_EQ(console.text(), expected + "D-cache size = " + std::to_string(variant.dcache) + "\n");
}

using SA11x0Init = ArchitectureFixture;

// The 64 MB iPAQ has two 32 MB DRAM banks, 128 MB apart; the OS's count of
// program memory, however small the split leaves it, decides nothing.
TEST_F(SA11x0Init, TheTwoBankIpaqRegistersBothBanksWhateverTheSplit) {
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3660"));
    device().setObjectStore(56u << 20);
    ce::MEMORYSTATUS status{};
    ce::GlobalMemoryStatus(&status);
    ASSERT_LT(status.dwTotalPhys, 0x01000000u);
    SA1100Architecture architecture(&console_slot, &memory_slot);
    console.output.clear();
    ASSERT_TRUE(architecture.init());
    EXPECT_EQ(console.text(), "MDCNF = 0x72547257\n"
                              "[0] 0xc0000000 size 0x02000000\n"
                              "[1] 0xc8000000 size 0x02000000\n"
                              "D-cache size = 8192\n");
}

// Where the register cannot tell a bank's size (parts with fewer columns than
// the processor can address), the bank registered holds at least the RAM.
TEST_F(SA11x0Init, ABankTheRegisterCannotTellIsRegisteredAtItsMost) {
    struct Case {
        const char16_t* profile;
        const char* expected;
    };
    for (const Case& c : {Case{u"Compaq iPAQ H3100", // 16 MB of 256-column SDRAM: DRAC 5 as for 32 MB
                               "MDCNF = 0x72547255\n[0] 0xc0000000 size 0x02000000\n"},
                          Case{u"HP Jornada 820", // 16 MB of 12-row, 10-column EDO DRAM
                               "MDCNF = 0x001eba31\n[0] 0xc0000000 size 0x04000000\n"}}) {
        useProfile(*sim::findDeviceProfile(c.profile));
        MemoryManagerLockPages fresh(&sim::LockPages, &sim::UnlockPages, &console_slot, kPage, 0);
        memory_slot = &fresh;
        SA1100Architecture architecture(&console_slot, &memory_slot);
        console.output.clear();
        ASSERT_TRUE(architecture.init());
        EXPECT_EQ(console.text(), std::string(c.expected) + "D-cache size = 8192\n");
        memory_slot = manager.get();
    }
}

TEST_P(VariantTest, InitFailsWhenTheMemoryManagerCannotStart) {
    BrokenMemoryManager broken(&console_slot, kPage);
    memory_slot = &broken;
    console.output.clear();
    EXPECT_FALSE(architecture->init());
    EXPECT_EQ(console.text(), "can't initialize memory manager.\n");
    EXPECT_EQ(broken.bankCount(), 0);
    memory_slot = manager.get();
}

TEST_P(VariantTest, SetupLoaderCopiesTheVariantsBlockIntoTheLastPage) {
    ASSERT_TRUE(architecture->init());
    ASSERT_TRUE(architecture->allocateMemory(8192));
    const MemoryManager::TableEntry last = manager->table()[manager->mappedCount() - 1];
    ASSERT_TRUE(architecture->setupLoader());

    const Variant& variant = GetParam();
    EXPECT_EQ(architecture->loaderPaddr(), last.paddr);
    std::vector<uint8_t> expected(variant.block, variant.block + *variant.block_size);
    EXPECT_EQ(physical(last.paddr, static_cast<uint32_t>(expected.size())), expected);
    EXPECT_NE(console.text().find("2nd bootloader copy done.\n"), std::string::npos);
}

TEST_P(VariantTest, JumpCallsTheVariantsRoutineWithTheFourArguments) {
    prepare();
    const MemoryManager::TableEntry stack = manager->table()[manager->mappedCount() - 1];
    architecture->jump(0xA0345000, 0xA0346010);

    ASSERT_EQ(cpu().flat_jumps.size(), 1u);
    const sim::FlatJumpCall& call = cpu().flat_jumps[0];
    EXPECT_EQ(call.routine, GetParam().routine);
    EXPECT_EQ(call.args_paddr, 0xA0345000u);
    EXPECT_EQ(call.list_paddr, 0xA0346010u);
    EXPECT_EQ(call.sp, stack.paddr + kPage);
    EXPECT_EQ(call.code_paddr, architecture->loaderPaddr());
    EXPECT_TRUE(call.kernel_mode);
    EXPECT_EQ(call.cpsr & sim::kCpsrModeMask, sim::kSystemMode);
    EXPECT_EQ(call.dcache_lines_read, GetParam().dcache / 32);
}

TEST_P(VariantTest, JumpWithoutAStackPageCallsNothing) {
    prepare();
    MemoryManager::Page page;
    while (manager->getPageFromEnd(page)) {
    }
    architecture->jump(0xA0345000, 0xA0346010);
    EXPECT_TRUE(cpu().flat_jumps.empty());
    EXPECT_FALSE(device().kernel_mode);
    EXPECT_EQ(console.text(), "");
}

INSTANTIATE_TEST_SUITE_P(Processors, VariantTest, ::testing::Values(kSA11x0, kPXA2x0),
                         [](const ::testing::TestParamInfo<Variant>& info) { return info.param.name; });

class JumpReturnTest : public ArchitectureFixture {};

// The SA-11x0 routine cannot come back; the PXA2x0 caller is prepared for it.
TEST_F(JumpReturnTest, ReturnFromThePxaRoutineLeavesKernelModeAndSaysSo) {
    PXA2x0Architecture pxa(&console_slot, &memory_slot);
    ASSERT_TRUE(pxa.init());
    ASSERT_TRUE(pxa.allocateMemory(8192));
    ASSERT_TRUE(pxa.setupLoader());
    bool kernel_mode_in_routine = false;
    cpu().on_flat_jump = [&](const sim::FlatJumpCall& call) { kernel_mode_in_routine = call.kernel_mode; };
    console.output.clear();

    pxa.jump(0xA0345000, 0xA0346010);
    EXPECT_TRUE(kernel_mode_in_routine);
    EXPECT_FALSE(device().kernel_mode);
    std::string text = console.text();
    const std::string tail = "Return from FlatJump_pxa2x0.\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(text.find("sp for bootloader = "), 0u);
}

TEST_F(JumpReturnTest, SaRoutineReturningPrintsNothingMore) {
    useProfile(*sim::findDeviceProfile(u"Compaq iPAQ H3600"));
    SA1100Architecture sa(&console_slot, &memory_slot);
    ASSERT_TRUE(sa.init());
    ASSERT_TRUE(sa.allocateMemory(8192));
    ASSERT_TRUE(sa.setupLoader());
    console.output.clear();

    sa.jump(0xC0345000, 0xC0346010);
    ASSERT_EQ(cpu().flat_jumps.size(), 1u);
    std::string text = console.text();
    EXPECT_EQ(text.find("sp for bootloader = "), 0u);
    EXPECT_EQ(text.find('\n'), text.size() - 1);
}

} // namespace
