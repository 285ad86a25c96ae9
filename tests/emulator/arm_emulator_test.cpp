// How a run on the emulated processor ends: a halt, a fault with its address,
// PC and mode, an exception, a semihosting exit; how it takes an interrupt.
// The programs are assembled by arm-none-eabi-as for each test.
#include "sim/emulator/arm_emulator.h"
#include "sim/physical_memory.h"
#include "sim/recording_device_model.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

constexpr uint32_t kCode = 0x00010000;

// The bytes arm-none-eabi-as makes of `source` (ARM state, StrongARM).
std::string assemble(const std::string& source) {
    char folder[] = "/tmp/zandrel-as-XXXXXX";
    if (mkdtemp(folder) == nullptr)
        return {};
    std::filesystem::path dir = folder;
    std::ofstream(dir / "code.S") << "    .arm\n" << source << "\n";
    std::string command = "arm-none-eabi-as -mcpu=strongarm1100 -o '" + (dir / "code.o").string() + "' '" +
                          (dir / "code.S").string() + "' && arm-none-eabi-objcopy -O binary '" +
                          (dir / "code.o").string() + "' '" + (dir / "code.bin").string() + "'";
    std::string bytes;
    if (std::system(command.c_str()) == 0) {
        std::ifstream in(dir / "code.bin", std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        bytes = text.str();
    }
    std::filesystem::remove_all(dir);
    return bytes;
}

class ArmEmulatorTest : public ::testing::Test {
  protected:
    sim::EmulationResult run(const std::string& source, uint64_t limit = 1'000'000) {
        return run(source, sim::instructionLimit(limit));
    }
    sim::EmulationResult run(const std::string& source, const sim::RunLimits& limits) {
        std::string code = assemble(source);
        EXPECT_FALSE(code.empty()) << source;
        EXPECT_TRUE(cpu.ok()) << cpu.error();
        EXPECT_TRUE(cpu.mapMemory(kCode, 0x1000));
        EXPECT_TRUE(cpu.write(kCode, code.data(), code.size()));
        cpu.setCpsr(0xDF);
        return cpu.run(kCode, limits);
    }
    // `handler` assembled at `vector`, in memory of its own.
    void placeHandler(uint32_t vector, const std::string& handler) {
        std::string code = assemble(handler);
        uint32_t page = vector & ~0xFFFu;
        ASSERT_TRUE(cpu.mapMemory(page, 0x1000));
        ASSERT_TRUE(cpu.write(vector, code.data(), code.size()));
    }
    sim::ArmEmulator cpu{sim::Processor::SA1110};
};

TEST_F(ArmEmulatorTest, ABranchToItselfHaltsTheRunWithTheRegistersAsTheProgramLeftThem) {
    sim::EmulationResult result = run("mov r3, #7\n add r4, r3, r3\n 1: b 1b");
    EXPECT_EQ(result.stop, sim::EmulationStop::kHalted);
    EXPECT_EQ(result.reason, "halted at 0x00010008");
    EXPECT_EQ(result.state.r[15], kCode + 8);
    EXPECT_EQ(result.state.r[4], 14u);
    EXPECT_EQ(result.instructions, 3u) << "mov, add and the branch into the halt";
}

TEST_F(ArmEmulatorTest, AStoreWhereNothingIsMappedIsAFaultAtThatInstruction) {
    sim::EmulationResult result = run("mov r0, #0x10000000\n mov r1, #5\n str r1, [r0, #4]\n b .");
    EXPECT_EQ(result.stop, sim::EmulationStop::kFault);
    EXPECT_EQ(result.reason, "write to unmapped address 0x10000004");
    EXPECT_TRUE(result.has_fault_address);
    EXPECT_EQ(result.fault_address, 0x10000004u);
    EXPECT_EQ(result.state.r[15], kCode + 8);
    EXPECT_STREQ(sim::armModeName(result.state.cpsr), "System");
    EXPECT_NE(sim::describeArmState(result.state).find("pc=0x00010008 cpsr=0x"), std::string::npos);
    EXPECT_NE(sim::describeArmState(result.state).find("(System) r0=0x10000000 r1=0x00000005"),
              std::string::npos);
}

TEST_F(ArmEmulatorTest, ExceptionsEndTheRunAsFaults) {
    sim::EmulationResult undefined = run("mov r0, #1\n .word 0xE7F000F0\n b .");
    EXPECT_EQ(undefined.stop, sim::EmulationStop::kFault);
    EXPECT_EQ(undefined.reason, "undefined instruction");

    sim::ArmEmulator other(sim::Processor::PXA270);
    std::string code = assemble("svc 0x42\n b .");
    ASSERT_TRUE(other.mapMemory(kCode, 0x1000));
    ASSERT_TRUE(other.write(kCode, code.data(), code.size()));
    other.setCpsr(0xDF);
    sim::EmulationResult swi = other.run(kCode, sim::instructionLimit(1000));
    EXPECT_EQ(swi.stop, sim::EmulationStop::kFault);
    EXPECT_EQ(swi.reason, "software interrupt");
}

TEST_F(ArmEmulatorTest, ASemihostingExitEndsTheRunLikeAHalt) {
    sim::EmulationResult result = run("mov r0, #0x18\n ldr r1, =0x20026\n svc 0x123456\n b .");
    EXPECT_EQ(result.stop, sim::EmulationStop::kHalted);
    EXPECT_EQ(result.reason, "semihosting exit, reason 0x00020026");
}

// A device register sees the width the program stores: a halfword store
// changes its half of the register word and keeps the other half.
TEST_F(ArmEmulatorTest, DeviceRegistersSeeWordHalfwordAndByteStores) {
    constexpr uint32_t kBase = 0x90000000;
    auto device = std::make_shared<RecordingDevice>();
    device->registers32[0x8] = 0x11223344;
    sim::PhysicalMemory::get().attachDevice(kBase, 0x1000, device);
    ASSERT_TRUE(cpu.mapDevices(kBase, 0x1000));
    sim::EmulationResult result = run("ldr r0, =0x90000000\n ldr r1, =0xBEEF\n strh r1, [r0, #0xA]\n"
                                      " strb r1, [r0, #0x4]\n ldrh r2, [r0, #0xA]\n b .");
    sim::PhysicalMemory::get().detachDevice(kBase);
    EXPECT_EQ(result.stop, sim::EmulationStop::kHalted) << result.reason;
    EXPECT_EQ(device->writes, (std::vector<RecordingDevice::Access>{{0x8, 0xBEEF3344, 32}, {0x4, 0xEF, 8}}));
    EXPECT_EQ(result.state.r[2], 0x1122u) << "the upper half of the register word";
}

TEST_F(ArmEmulatorTest, TheInstructionLimitEndsALoop) {
    sim::EmulationResult result = run("1: add r0, r0, #1\n b 1b", 10'000);
    EXPECT_EQ(result.stop, sim::EmulationStop::kInstructionLimit);
    EXPECT_EQ(result.reason, "instruction limit of 10000 reached");
    EXPECT_GE(result.instructions, 10'000u);
    EXPECT_GE(result.state.r[0], 4'999u);
}

// Writing the CPSR with another mode banks sp and lr, from User mode too:
// what the interrupt entry relies on.
TEST_F(ArmEmulatorTest, SwitchingModeThroughTheCpsrBanksSpAndLr) {
    ASSERT_TRUE(cpu.ok());
    cpu.setCpsr(0xD2); // IRQ
    cpu.setRegister(13, 0x1111);
    cpu.setRegister(14, 0x2222);
    cpu.setCpsr(0x10); // User
    cpu.setRegister(13, 0x3333);
    cpu.setRegister(14, 0x4444);
    cpu.setCpsr(0xD2);
    EXPECT_EQ(cpu.reg(13), 0x1111u);
    EXPECT_EQ(cpu.reg(14), 0x2222u);
    EXPECT_EQ(cpu.cpsr() & 0x1F, 0x12u);
    cpu.setCpsr(0xDF); // System shares User's registers
    EXPECT_EQ(cpu.reg(13), 0x3333u);
    EXPECT_EQ(cpu.reg(14), 0x4444u);
}

// The program sets up the banked registers of the IRQ and FIQ modes, then
// unmasks in `cpsr`; the lines are raised all along. The handler at the
// vector records the SPSR, LR, CPSR, SP and r8 it sees in r4 to r7 and r9.
struct InterruptCase {
    const char* name;
    sim::RunLimits::Lines lines;
    uint32_t cpsr; // the mode the program unmasks in, with the flags NZCV set
    bool high_vectors;
    uint32_t vector;
    uint32_t entered_cpsr; // the handler's
    uint32_t banked_sp;    // the handler's sp and r8
    uint32_t banked_r8;
};

class ArmInterruptTest : public ArmEmulatorTest, public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(ArmInterruptTest, ARaisedLineIsTakenAsTheProcessorTakesIrqAndFiq) {
    const InterruptCase& c = GetParam();
    placeHandler(c.vector, "mrs r4, spsr\n mov r5, lr\n mrs r6, cpsr\n mov r7, sp\n mov r9, r8\n b .");
    sim::RunLimits limits = sim::instructionLimit(1000);
    limits.interrupt_lines = [&c] { return c.lines; };
    std::string program = "msr cpsr_c, #0xD2\n mov sp, #0x2000\n"
                          "msr cpsr_c, #0xD1\n mov sp, #0x3000\n mov r8, #0x88\n"
                          "msr cpsr_c, #0xDF\n mov r8, #8\n mov r3, #5\n";
    uint32_t unmasking = kCode + 4 * 9; // after the eight above and the ldr
    if (c.high_vectors) {
        program += "mrc p15, 0, r0, c1, c0, 0\n orr r0, r0, #0x2000\n mcr p15, 0, r0, c1, c0, 0\n";
        unmasking += 4 * 3;
    }
    program += "ldr r0, =" + std::to_string(c.cpsr) + "\n msr cpsr_fc, r0\n mov r3, #6\n b .\n";
    sim::EmulationResult result = run(program, limits);
    EXPECT_EQ(result.stop, sim::EmulationStop::kHalted) << result.reason;
    EXPECT_EQ(result.state.r[15], c.vector + 20) << "the handler's halt";
    EXPECT_EQ(result.state.r[3], 5u) << "the instruction after the unmasking has not run";
    EXPECT_EQ(result.state.r[4], c.cpsr) << "SPSR: the interrupted CPSR";
    EXPECT_EQ(result.state.r[5], unmasking + 4 + 4) << "LR: the next instruction + 4";
    EXPECT_EQ(result.state.r[6], c.entered_cpsr) << "the mode, I (and F), ARM state, the flags kept";
    EXPECT_EQ(result.state.r[7], c.banked_sp);
    EXPECT_EQ(result.state.r[9], c.banked_r8);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ArmInterruptTest,
    ::testing::Values(
        InterruptCase{
            "IrqFromUserModeAtTheLowVectors", {true, false}, 0xF0000010, false, 0x18, 0xF0000092, 0x2000, 8},
        InterruptCase{"FiqFromSystemModeAtTheHighVectors",
                      {false, true},
                      0xF000001F,
                      true,
                      0xFFFF001C,
                      0xF00000D1,
                      0x3000,
                      0x88},
        InterruptCase{"FiqBeforeIrq", {true, true}, 0xF0000010, false, 0x1C, 0xF00000D1, 0x3000, 0x88},
        InterruptCase{
            "IrqWithFiqMaskedKeepsFMasked", {true, false}, 0x6000005F, false, 0x18, 0x600000D2, 0x2000, 8}),
    [](const ::testing::TestParamInfo<InterruptCase>& info) { return std::string(info.param.name); });

// A wait for interrupt ends when the line is raised: with the interrupt
// masked the program goes on after the wait, unmasked the processor takes it
// there (LR: the instruction after the wait + 4). A line the CPSR masks is
// never taken.
TEST_F(ArmEmulatorTest, AWaitForInterruptEndsWithTheInterruptTakenOnlyWhenUnmasked) {
    placeHandler(0x18, "mov r5, lr\n mrs r6, cpsr\n b .");
    ASSERT_TRUE(cpu.mapMemory(kCode, 0x1000));
    for (bool masked : {true, false}) {
        SCOPED_TRACE(masked ? "masked" : "unmasked");
        bool raised = false;
        sim::RunLimits limits = sim::instructionLimit(1000);
        limits.wake = [&raised] {
            raised = true;
            return sim::RunLimits::Wake::kNow;
        };
        limits.interrupt_lines = [&raised] { return sim::RunLimits::Lines{raised, false}; };
        // Each program at its own address: the processor keeps what it translated.
        uint32_t at = kCode + (masked ? 0x100 : 0x200);
        std::string code = assemble(std::string(masked ? "msr cpsr_c, #0x9F\n" : "msr cpsr_c, #0x1F\n") +
                                    "mov r5, #0\n mcr p15, 0, r0, c7, c0, 4\n mov r3, #6\n b .");
        ASSERT_TRUE(cpu.write(at, code.data(), code.size()));
        cpu.setCpsr(0xDF);
        cpu.setRegister(3, 0);
        sim::EmulationResult result = cpu.run(at, limits);
        EXPECT_EQ(result.stop, sim::EmulationStop::kHalted) << result.reason;
        EXPECT_TRUE(raised);
        if (masked) {
            EXPECT_EQ(result.state.r[3], 6u) << "went on after the wait";
            EXPECT_EQ(result.state.r[15], at + 0x10);
            EXPECT_EQ(result.state.cpsr & 0x1F, 0x1Fu);
        } else {
            EXPECT_EQ(result.state.r[3], 0u);
            EXPECT_EQ(result.state.r[5], at + 0xC + 4) << "LR";
            EXPECT_EQ(result.state.r[6] & 0xFF, 0x92u);
            EXPECT_EQ(result.state.r[15], 0x20u);
        }
    }
}

} // namespace

namespace {

// The time limit passing while the processor sleeps in a wait for interrupt
// ends the run there: the processor is not woken to go on after the wait.
TEST_F(ArmEmulatorTest, ATimeLimitPassingInAWaitForInterruptEndsTheRunAsleep) {
    ASSERT_TRUE(cpu.mapMemory(kCode, 0x1000));
    sim::RunLimits limits;
    limits.time = std::chrono::milliseconds(50);
    limits.wake = [] { return sim::RunLimits::Wake::kLater; };
    std::string code = assemble("mov r3, #0\n mcr p15, 0, r0, c7, c0, 4\n mov r3, #6\n b .");
    ASSERT_TRUE(cpu.write(kCode + 0x300, code.data(), code.size()));
    cpu.setCpsr(0xDF);
    sim::EmulationResult result = cpu.run(kCode + 0x300, limits);
    EXPECT_EQ(result.stop, sim::EmulationStop::kTimeLimit) << result.reason;
    EXPECT_EQ(result.state.r[3], 0u) << "went on after the wait";
}

} // namespace
