// The simulated processor: modes and interrupt bits as SetKMode and the CPU
// routines leave them, the profile's coprocessor registers, cache cleaning
// and the recorded jump routines.
#include "arch/arm/cpu_routines.h"
#include "platform/wince.h"
#include "sim/cpu.h"
#include "support/simulated_device.h"

namespace {

class CpuTest : public SimulatedDevice {
  protected:
    void SetUp() override {
        SimulatedDevice::SetUp();
        cpu().reset();
        saved_dcache_size = dcache_size;
    }
    void TearDown() override {
        dcache_size = saved_dcache_size;
        cpu().reset();
        SimulatedDevice::TearDown();
    }
    sim::Cpu& cpu() { return sim::Cpu::get(); }

    uint32_t saved_dcache_size = 0;
};

TEST_F(CpuTest, KernelModeRunsInSystemModeAndUserModeOtherwise) {
    EXPECT_EQ(GetCPSR(), sim::kUserMode);
    EXPECT_EQ(ce::SetKMode(ce::TRUE), ce::FALSE);
    EXPECT_EQ(GetCPSR(), sim::kSystemMode);
    EXPECT_EQ(ce::SetKMode(ce::FALSE), ce::TRUE);
    EXPECT_EQ(GetCPSR(), sim::kUserMode);
}

TEST_F(CpuTest, InterruptBitsFollowTheRoutinesInSystemMode) {
    ce::SetKMode(ce::TRUE);
    DisableInterrupts();
    EXPECT_EQ(GetCPSR(), sim::kSystemMode | 0xC0);
    EnableInterrupts();
    EXPECT_EQ(GetCPSR(), sim::kSystemMode);
}

TEST_F(CpuTest, UserModeCannotMaskInterrupts) {
    DisableInterrupts();
    EXPECT_EQ(GetCPSR(), sim::kUserMode);
    EXPECT_EQ(cpu().interrupt_disables, 1);
}

TEST_F(CpuTest, RefusedSystemModeKeepsTheThreadInUserMode) {
    cpu().kmode_reaches_system = false;
    EXPECT_EQ(ce::SetKMode(ce::TRUE), ce::FALSE);
    EXPECT_EQ(ce::SetKMode(ce::TRUE), ce::TRUE);
    DisableInterrupts();
    EXPECT_EQ(GetCPSR(), sim::kUserMode);
}

TEST_F(CpuTest, ResetForgetsKnobsAndRecords) {
    ce::SetKMode(ce::TRUE);
    DisableInterrupts();
    cpu().kmode_reaches_system = false;
    FlatJump_sa11x0(1, 2, 3, 4);
    cpu().reset();
    EXPECT_TRUE(cpu().kmode_reaches_system);
    EXPECT_EQ(cpu().interrupt_bits, 0u);
    EXPECT_TRUE(cpu().flat_jumps.empty());
    EXPECT_EQ(cpu().interrupt_disables, 0);
}

struct RegisterCase {
    const char* name;
    const char16_t* profile;
    uint32_t id;
    uint32_t control;
    uint32_t ttb;
};

class Cp15Test : public CpuTest, public ::testing::WithParamInterface<RegisterCase> {};

TEST_P(Cp15Test, RegistersAreThoseOfTheProfilesProcessor) {
    useProfile(*sim::findDeviceProfile(GetParam().profile));
    EXPECT_EQ(ReadCP15_c0(), GetParam().id);
    EXPECT_EQ(ReadCP15_c1(), GetParam().control);
    EXPECT_EQ(ReadCP15_c2(), GetParam().ttb);
    // MMU, D-cache, write buffer and I-cache on, vectors high.
    EXPECT_EQ(ReadCP15_c1() & 0x300D, 0x300Du);
    EXPECT_EQ(ReadCP15_c2() & 0x3FFF, 0u);
    EXPECT_EQ(ReadCP15_c3(), 0x00000005u);
    EXPECT_EQ(ReadCP15_c5(), 0x00000007u);
    EXPECT_EQ(ReadCP15_c6(), 0x2C01F7A0u);
    EXPECT_EQ(ReadCP15_c13(), 0x0A000000u);
    EXPECT_EQ(ReadCP15_c14(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Processors, Cp15Test,
    ::testing::Values(RegisterCase{"SA1100", u"HP Jornada 820", 0x4401A11B, 0x307F, 0xC0010000},
                      RegisterCase{"SA1110", u"Compaq iPAQ H3600", 0x6901B118, 0x307F, 0xC0010000},
                      RegisterCase{"PXA250", u"Compaq iPAQ H3900", 0x69052105, 0x387F, 0xA0010000},
                      RegisterCase{"PXA270", u"Sharp W-ZERO3 (WS003SH)", 0x69054117, 0x387F, 0xA0010000}),
    [](const ::testing::TestParamInfo<RegisterCase>& info) { return info.param.name; });

TEST_F(CpuTest, CleanDCacheReadsOneWordPerLineOverTheCacheSize) {
    dcache_size = 8192;
    CleanDCache();
    EXPECT_EQ(cpu().dcache_lines_read, 256u);
    dcache_size = 65536;
    CleanDCache();
    EXPECT_EQ(cpu().dcache_lines_read, 256u + 2048u);
    EXPECT_EQ(cpu().dcache_cleans, 2);
}

TEST_F(CpuTest, CleanDCacheStaysInsideTheFlushArea) {
    dcache_size = 0x7FFFFFFF;
    CleanDCache();
    EXPECT_EQ(cpu().dcache_lines_read, kDCacheFlushAreaSize / kDCacheLineSize);
}

TEST_F(CpuTest, JumpRoutinesRecordTheirArgumentsAndTheProcessor) {
    ce::SetKMode(ce::TRUE);
    DisableInterrupts();
    FlatJump_pxa2x0(0xA0001000, 0xA0002010, 0xA0004000, 0xA0003000);
    FlatJump_sa11x0(0xC0001000, 0xFFFFFFFF, 0xC0004000, 0xC0003000);
    ASSERT_EQ(cpu().flat_jumps.size(), 2u);
    const sim::FlatJumpCall& pxa = cpu().flat_jumps[0];
    EXPECT_EQ(pxa.routine, "FlatJump_pxa2x0");
    EXPECT_EQ(pxa.args_paddr, 0xA0001000u);
    EXPECT_EQ(pxa.list_paddr, 0xA0002010u);
    EXPECT_EQ(pxa.sp, 0xA0004000u);
    EXPECT_EQ(pxa.code_paddr, 0xA0003000u);
    EXPECT_EQ(pxa.cpsr, sim::kSystemMode | 0xC0);
    EXPECT_TRUE(pxa.kernel_mode);
    EXPECT_EQ(cpu().flat_jumps[1].routine, "FlatJump_sa11x0");
    EXPECT_EQ(cpu().flat_jumps[1].list_paddr, 0xFFFFFFFFu);
}

} // namespace
