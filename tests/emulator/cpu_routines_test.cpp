// The CPU routines of the ARM part (cpu_routines.S), as assembled, run on an
// emulated processor of each model.
#include "arch/arm/arm_code.h"
#include "sim/emulator/arm_emulator.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kCode = 0x00100000;      // the routines
constexpr uint32_t kReturn = 0x00200000;    // where they return to: a branch to itself
constexpr uint32_t kFlushArea = 0x00300000; // dcache_flush_area
constexpr uint32_t kSizeWord = 0x00400000;  // dcache_size
constexpr uint32_t kSystemMode = 0x1F;

struct Model {
    sim::Processor processor;
    uint32_t id; // coprocessor 15 c0 of the emulated model
    uint32_t dcache_size;
    const char* name;
};

class CpuRoutines : public ::testing::TestWithParam<Model> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(cpu.ok()) << cpu.error();
        ASSERT_TRUE(cpu.mapMemory(kCode, 0x10000));
        ASSERT_TRUE(cpu.mapMemory(kReturn, 0x1000));
        ASSERT_TRUE(cpu.mapMemory(kFlushArea, 0x10000));
        ASSERT_TRUE(cpu.mapMemory(kSizeWord, 0x1000));
        ASSERT_TRUE(cpu.write(kCode, CpuRoutinesCode, CpuRoutinesCode_size));
        uint32_t halt = sim::kArmBranchToSelf;
        ASSERT_TRUE(cpu.write(kReturn, &halt, 4));
        cpu.setCpsr(kSystemMode);
    }

    // Calls the routine as the system does and returns r0.
    uint32_t call(const char* routine) {
        uint32_t offset = CpuRoutinesCode_code.offsetOf(routine);
        EXPECT_NE(offset, ArmCode::kNoSymbol) << routine;
        cpu.setRegister(14, kReturn);
        sim::EmulationResult result = cpu.run(kCode + offset, sim::instructionLimit(10'000'000));
        EXPECT_EQ(result.stop, sim::EmulationStop::kHalted) << routine << ": " << result.reason;
        EXPECT_EQ(result.state.r[15], kReturn) << routine;
        return result.state.r[0];
    }

    sim::ArmEmulator cpu{GetParam().processor};
};

TEST_P(CpuRoutines, DisableAndEnableInterruptsSetAndClearIrqAndFiq) {
    call("DisableInterrupts");
    EXPECT_EQ(cpu.cpsr() & 0xDF, 0xC0u | kSystemMode);
    uint32_t read = call("GetCPSR");
    EXPECT_EQ(read & 0xDF, 0xC0u | kSystemMode);
    call("EnableInterrupts");
    EXPECT_EQ(cpu.cpsr() & 0xDF, kSystemMode);
}

TEST_P(CpuRoutines, InUserModeTheControlFieldStaysAsItIs) {
    cpu.setCpsr(0x10);
    call("DisableInterrupts");
    EXPECT_EQ(call("GetCPSR") & 0xDF, 0x10u);
}

TEST_P(CpuRoutines, GetCpsrReturnsTheMode) {
    EXPECT_EQ(call("GetCPSR") & 0x1F, kSystemMode);
    cpu.setCpsr(0xD3);
    EXPECT_EQ(call("GetCPSR") & 0xDF, 0xD3u);
}

TEST_P(CpuRoutines, ReadCp15ReturnsTheCoprocessorRegisters) {
    EXPECT_EQ(call("ReadCP15_c0"), GetParam().id);
    EXPECT_EQ(call("ReadCP15_c1"), cpu.cp15(1));
    EXPECT_EQ(call("ReadCP15_c1") & 1, 0u) << "the emulated processor runs with the MMU off";
}

TEST_P(CpuRoutines, CleanDCacheLoadsOneWordFromEveryLineOfTheFlushArea) {
    uint32_t size = GetParam().dcache_size;
    uint32_t area_literal = CpuRoutinesCode_code.offsetOf("CleanDCache_area");
    uint32_t size_literal = CpuRoutinesCode_code.offsetOf("CleanDCache_size");
    ASSERT_NE(area_literal, ArmCode::kNoSymbol);
    ASSERT_NE(size_literal, ArmCode::kNoSymbol);
    uint32_t area = kFlushArea, size_word = kSizeWord;
    ASSERT_TRUE(cpu.write(kCode + area_literal, &area, 4));
    ASSERT_TRUE(cpu.write(kCode + size_literal, &size_word, 4));
    ASSERT_TRUE(cpu.write(kSizeWord, &size, 4));

    std::vector<std::pair<uint32_t, int>> reads;
    cpu.onRead(kFlushArea, kFlushArea + 0x10000,
               [&reads](uint32_t address, int width) { reads.emplace_back(address, width); });
    call("CleanDCache");
    ASSERT_EQ(reads.size(), size / 32);
    for (size_t i = 0; i < reads.size(); ++i) {
        EXPECT_EQ(reads[i].first, kFlushArea + 32 * i);
        EXPECT_EQ(reads[i].second, 4);
    }
}

INSTANTIATE_TEST_SUITE_P(Models, CpuRoutines,
                         ::testing::Values(Model{sim::Processor::SA1100, 0x4401A11B, 8192, "SA1100"},
                                           Model{sim::Processor::SA1110, 0x6901B119, 8192, "SA1110"},
                                           Model{sim::Processor::PXA250, 0x69052100, 65536, "PXA250"},
                                           Model{sim::Processor::PXA270, 0x69054117, 65536, "PXA270"}),
                         [](const ::testing::TestParamInfo<Model>& info) { return info.param.name; });

} // namespace
