// The ARM common part: the register report, the placement of a second-stage
// block and the hand-over to a jump routine.
#include "arch/architecture_fixture.h"
#include "arch/arm/pxa2x0_architecture.h"
#include "arch/arm/sa1100_architecture.h"

#include <string>
#include <vector>

namespace {

// Remembers the CPSR at every line, to see when interrupts were masked.
class CpsrRecordingConsole : public RecordingConsole {
  public:
    void vprint(const char16_t* format, va_list args) override {
        RecordingConsole::vprint(format, args);
        cpsr_at_line.push_back(sim::Cpu::get().cpsr());
    }
    std::vector<uint32_t> cpsr_at_line;
};

// Opens the common algorithms to tests, with any block and routine.
class OpenArmArchitecture : public SA1100Architecture {
  public:
    using ArmArchitecture::handOver;
    using ArmArchitecture::placeSecondStage;
    using SA1100Architecture::SA1100Architecture;
};

class ArmArchitectureTest : public ArchitectureFixture {
  protected:
    void SetUp() override {
        ArchitectureFixture::SetUp();
        console_slot = &lines;
        architecture = std::make_unique<OpenArmArchitecture>(&console_slot, &memory_slot);
        lines.output.clear();
        lines.cpsr_at_line.clear();
    }
    void TearDown() override {
        architecture.reset();
        ArchitectureFixture::TearDown();
    }

    CpsrRecordingConsole lines;
    std::unique_ptr<OpenArmArchitecture> architecture;
};

struct ReportCase {
    const char* name;
    const char16_t* profile;
    const char* report;
};

class SystemInfoReportTest : public ArmArchitectureTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(SystemInfoReportTest, PrintsTheWholeReport) {
    useProfile(*sim::findDeviceProfile(GetParam().profile));
    architecture->systemInfo();
    EXPECT_EQ(lines.text(), GetParam().report);
}

INSTANTIATE_TEST_SUITE_P(Processors, SystemInfoReportTest,
                         ::testing::Values(ReportCase{"SA1110", u"Compaq iPAQ H3600",
                                                      "_WIN32_WCE = 420\n"
                                                      "GetVersionEx\n"
                                                      "Windows CE 3.0\n"
                                                      "GetSystemInfo:\n"
                                                      "wProcessorArchitecture      0x5\n"
                                                      "wProcessorLevel             0x4\n"
                                                      "wProcessorRevision          0x108\n"
                                                      "dwPageSize                  0x1000\n"
                                                      "dwAllocationGranularity     0x00010000\n"
                                                      "dwProcessorType             0xa11\n"
                                                      "Display: 240x320 16bpp\n"
                                                      "Reg0 :6901b118\n"
                                                      "Reg1 :0000307f\n"
                                                      "Reg2 :c0010000\n"
                                                      "Reg3 :00000005\n"
                                                      "Reg5 :00000007\n"
                                                      "Reg6 :2c01f7a0\n"
                                                      "Reg13:0a000000\n"
                                                      "Reg14:00000000\n"
                                                      "CPSR :000000df\n"},
                                           ReportCase{"PXA270", u"Sharp W-ZERO3 (WS003SH)",
                                                      "_WIN32_WCE = 420\n"
                                                      "GetVersionEx\n"
                                                      "Windows CE 5.1\n"
                                                      "GetSystemInfo:\n"
                                                      "wProcessorArchitecture      0x5\n"
                                                      "wProcessorLevel             0x4\n"
                                                      "wProcessorRevision          0x501\n"
                                                      "dwPageSize                  0x1000\n"
                                                      "dwAllocationGranularity     0x00010000\n"
                                                      "dwProcessorType             0xa11\n"
                                                      "Display: 480x640 16bpp\n"
                                                      "Reg0 :69054117\n"
                                                      "Reg1 :0000387f\n"
                                                      "Reg2 :a0010000\n"
                                                      "Reg3 :00000005\n"
                                                      "Reg5 :00000007\n"
                                                      "Reg6 :2c01f7a0\n"
                                                      "Reg13:0a000000\n"
                                                      "Reg14:00000000\n"
                                                      "CPSR :000000df\n"}),
                         [](const ::testing::TestParamInfo<ReportCase>& info) { return info.param.name; });

TEST_F(ArmArchitectureTest, InterruptsAreMaskedOnlyWhileTheRegistersArePrinted) {
    architecture->systemInfo();
    // The Windows CE part has 11 lines, then the nine register lines.
    ASSERT_EQ(lines.cpsr_at_line.size(), 20u);
    for (size_t i = 0; i < lines.cpsr_at_line.size(); ++i) {
        uint32_t expected = i < 11 ? sim::kUserMode : sim::kSystemMode | sim::kCpsrIrqFiq;
        EXPECT_EQ(lines.cpsr_at_line[i], expected) << "line " << i;
    }
    EXPECT_EQ(cpu().cpsr(), sim::kUserMode);
    EXPECT_FALSE(device().kernel_mode);
    EXPECT_EQ(cpu().interrupt_disables, 1);
    EXPECT_EQ(cpu().interrupt_enables, 1);
}

TEST_F(ArmArchitectureTest, KernelModeAlreadyOnStaysOn) {
    ce::SetKMode(ce::TRUE);
    architecture->systemInfo();
    EXPECT_TRUE(device().kernel_mode);
    EXPECT_EQ(cpu().cpsr(), sim::kSystemMode);
}

TEST_F(ArmArchitectureTest, RefusedSystemModeIsReportedOnceAndEveryRegisterStillPrinted) {
    cpu().kmode_reaches_system = false;
    architecture->systemInfo();
    std::string text = lines.text();
    std::string dump = text.substr(text.find("Display:"));
    EXPECT_EQ(dump, "Display: 480x640 16bpp\n"
                    "can't change to System mode\n"
                    "Reg0 :69054117\n"
                    "Reg1 :0000387f\n"
                    "Reg2 :a0010000\n"
                    "Reg3 :00000005\n"
                    "Reg5 :00000007\n"
                    "Reg6 :2c01f7a0\n"
                    "Reg13:0a000000\n"
                    "Reg14:00000000\n"
                    "CPSR :00000010\n");
    EXPECT_FALSE(device().kernel_mode);
}

class PlacementTest : public ArmArchitectureTest {
  protected:
    void SetUp() override {
        ArmArchitectureTest::SetUp();
        ASSERT_TRUE(manager->reservePages(65536));
        lines.output.clear();
    }
    std::vector<uint8_t> block(size_t size) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<uint8_t>(i * 7 + 3);
        return bytes;
    }
};

TEST_F(PlacementTest, BlockOfAWholePageGoesToTheLastPage) {
    const MemoryManager::TableEntry last = manager->table()[15];
    std::vector<uint8_t> code = block(kPage);
    ASSERT_TRUE(architecture->placeSecondStage(code.data(), code.size()));

    EXPECT_EQ(architecture->loaderPaddr(), last.paddr);
    EXPECT_EQ(physical(last.paddr, kPage), code);
    EXPECT_EQ(manager->mappedCount(), 15);
    char expected[128];
    snprintf(expected, sizeof expected,
             "2nd bootloader vaddr=0x%08x paddr=0x%08x\n2nd bootloader copy done.\n",
             static_cast<uint32_t>(reinterpret_cast<uintptr_t>(last.vaddr)), last.paddr);
    EXPECT_EQ(lines.text(), expected);
}

TEST_F(PlacementTest, BlockLongerThanAPageIsRefused) {
    std::vector<uint8_t> code = block(kPage + 1);
    EXPECT_FALSE(architecture->placeSecondStage(code.data(), code.size()));
    EXPECT_EQ(lines.text(), "2nd bootloader size(4097byte) is larger than page size(4096).\n");
    EXPECT_EQ(architecture->loaderPaddr(), 0u);
    EXPECT_EQ(manager->mappedCount(), 16);
}

TEST_F(PlacementTest, NoPageLeftIsReported) {
    MemoryManager::Page page;
    while (manager->getPage(page)) {
    }
    lines.output.clear();
    std::vector<uint8_t> code = block(64);
    EXPECT_FALSE(architecture->placeSecondStage(code.data(), code.size()));
    EXPECT_EQ(lines.text(), "can't get page for 2nd loader.\n");
    EXPECT_EQ(architecture->loaderPaddr(), 0u);
}

class HandOverTest : public PlacementTest {
  protected:
    static void routine(uint32_t args, uint32_t list, uint32_t sp, uint32_t code) {
        calls.push_back({args, list, sp, code, device().kernel_mode, sim::Cpu::get().dcache_lines_read});
    }
    static sim::Handheld& device() { return sim::Handheld::get(); }
    struct Call {
        uint32_t args, list, sp, code;
        bool kernel_mode;
        uint32_t lines_read;
    };
    static inline std::vector<Call> calls;

    void SetUp() override {
        PlacementTest::SetUp();
        calls.clear();
        std::vector<uint8_t> code = block(256);
        ASSERT_TRUE(architecture->placeSecondStage(code.data(), code.size()));
        lines.output.clear();
    }
};

TEST_F(HandOverTest, StackPageCleanCacheKernelModeThenTheRoutine) {
    const MemoryManager::TableEntry stack = manager->table()[14];
    size_t printed_at_clean = 0;
    cpu().on_clean_dcache = [&] { printed_at_clean = lines.output.size(); };
    dcache_size = 8192;

    EXPECT_TRUE(architecture->handOver(0xC1000000, 0xC2000010, &routine));

    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, 0xC1000000u);
    EXPECT_EQ(calls[0].list, 0xC2000010u);
    EXPECT_EQ(calls[0].sp, stack.paddr + kPage);
    EXPECT_EQ(calls[0].code, architecture->loaderPaddr());
    EXPECT_TRUE(calls[0].kernel_mode);
    EXPECT_EQ(calls[0].lines_read, 8192u / 32);
    char expected[64];
    snprintf(expected, sizeof expected, "sp for bootloader = %08x + 00001000 = %08x\n", stack.paddr,
             stack.paddr + kPage);
    EXPECT_EQ(lines.text(), expected);
    EXPECT_EQ(printed_at_clean, lines.output.size());
}

TEST_F(HandOverTest, NoStackPageMeansNoJump) {
    MemoryManager::Page page;
    while (manager->getPageFromEnd(page)) {
    }
    EXPECT_FALSE(architecture->handOver(0xC1000000, 0xC2000010, &routine));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(cpu().dcache_cleans, 0);
    EXPECT_FALSE(device().kernel_mode);
    EXPECT_EQ(lines.text(), "");
}

} // namespace
