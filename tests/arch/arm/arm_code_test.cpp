// The assembled ARM code as embedded: second-stage blocks that fit a page and
// can run wherever they are copied, and labels for every routine.
#include "arch/arm/arm_code.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string kObjectDir = ZANDREL_BUILD_DIR "/src/arch/arm/";

struct Unit {
    const char* stem;
    const ArmCode* code;
};

const Unit kUnits[] = {
    {"second_stage_sa11x0", &SecondStage_sa11x0_code}, {"second_stage_pxa2x0", &SecondStage_pxa2x0_code},
    {"flat_jump_sa11x0", &FlatJumpCode_sa11x0_code},   {"flat_jump_pxa2x0", &FlatJumpCode_pxa2x0_code},
    {"cpu_routines", &CpuRoutinesCode_code},
};

// What arm-none-eabi-readelf says about the relocations of an object.
std::string relocations(const std::string& object) {
    std::string command = "arm-none-eabi-readelf -r '" + object + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return "popen failed";
    std::string output;
    std::array<char, 256> buffer;
    while (fgets(buffer.data(), buffer.size(), pipe) != nullptr)
        output += buffer.data();
    EXPECT_EQ(pclose(pipe), 0) << output;
    return output;
}

TEST(ArmCodeTest, SecondStageBlocksFitInOnePage) {
    EXPECT_GT(SecondStage_sa11x0_size, 0u);
    EXPECT_LE(SecondStage_sa11x0_size, 4096u);
    EXPECT_GT(SecondStage_pxa2x0_size, 0u);
    EXPECT_LE(SecondStage_pxa2x0_size, 4096u);
    EXPECT_EQ(SecondStage_sa11x0_code.bytes, SecondStage_sa11x0);
    EXPECT_EQ(SecondStage_pxa2x0_code.size, SecondStage_pxa2x0_size);
}

TEST(ArmCodeTest, SecondStageBlocksAndJumpRoutinesNeedNoRelocation) {
    for (const char* stem :
         {"second_stage_sa11x0", "second_stage_pxa2x0", "flat_jump_sa11x0", "flat_jump_pxa2x0"})
        EXPECT_NE(relocations(kObjectDir + stem + ".o").find("There are no relocations in this file."),
                  std::string::npos)
            << stem;
}

TEST(ArmCodeTest, CacheCleaningNamesItsDataByAddress) {
    // The only absolute words: the flush area and its size, for the linker or the emulator host.
    std::string text = relocations(kObjectDir + "cpu_routines.o");
    EXPECT_NE(text.find("R_ARM_ABS32"), std::string::npos) << text;
    EXPECT_NE(text.find("dcache_flush_area"), std::string::npos) << text;
    EXPECT_NE(text.find("dcache_size"), std::string::npos) << text;
    EXPECT_NE(text.find("2 entries"), std::string::npos) << text;
    EXPECT_EQ(CpuRoutinesCode_code.offsetOf("CleanDCache_size"),
              CpuRoutinesCode_code.offsetOf("CleanDCache_area") + 4);
}

TEST(ArmCodeTest, EmbeddedBytesAreTheAssembledText) {
    for (const Unit& unit : kUnits) {
        std::ifstream in(kObjectDir + unit.stem + ".bin", std::ios::binary);
        ASSERT_TRUE(in) << unit.stem;
        std::vector<uint8_t> assembled((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
        std::vector<uint8_t> embedded(unit.code->bytes, unit.code->bytes + unit.code->size);
        EXPECT_EQ(embedded, assembled) << unit.stem;
        EXPECT_EQ(unit.code->size % 4, 0u) << unit.stem;
    }
}

TEST(ArmCodeTest, EveryRoutineHasItsLabel) {
    EXPECT_EQ(SecondStage_sa11x0_code.offsetOf("SecondStage_sa11x0"), 0u);
    EXPECT_EQ(SecondStage_pxa2x0_code.offsetOf("SecondStage_pxa2x0"), 0u);
    EXPECT_EQ(FlatJumpCode_sa11x0_code.offsetOf("FlatJump_sa11x0"), 0u);
    EXPECT_EQ(FlatJumpCode_pxa2x0_code.offsetOf("FlatJump_pxa2x0"), 0u);
    for (const char* routine :
         {"DisableInterrupts", "EnableInterrupts", "GetCPSR", "ReadCP15_c0", "ReadCP15_c1", "ReadCP15_c2",
          "ReadCP15_c3", "ReadCP15_c5", "ReadCP15_c6", "ReadCP15_c13", "ReadCP15_c14", "CleanDCache",
          "CleanDCache_area", "CleanDCache_size"}) {
        uint32_t offset = CpuRoutinesCode_code.offsetOf(routine);
        EXPECT_LT(offset, CpuRoutinesCode_size) << routine;
        EXPECT_EQ(offset % 4, 0u) << routine;
    }
    EXPECT_EQ(CpuRoutinesCode_code.offsetOf("ReadCP15_c4"), ArmCode::kNoSymbol);
}

} // namespace
