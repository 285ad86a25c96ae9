// How a run on the emulated processor ends: a halt, a fault with its address,
// PC and mode, an exception, a semihosting exit. The programs are assembled by
// arm-none-eabi-as for each test.
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
        std::string code = assemble(source);
        EXPECT_FALSE(code.empty()) << source;
        EXPECT_TRUE(cpu.ok()) << cpu.error();
        EXPECT_TRUE(cpu.mapMemory(kCode, 0x1000));
        EXPECT_TRUE(cpu.write(kCode, code.data(), code.size()));
        cpu.setCpsr(0xDF);
        return cpu.run(kCode, sim::instructionLimit(limit));
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

} // namespace
