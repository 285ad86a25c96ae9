// The MDCNF values the simulated SA-11x0 boards' ROMs write, worked out by
// hand from the parts' data sheets and the register's fields, without the
// loader's decoder.
#include "sim/board_devices.h"
#include "sim/sa11x0_dram.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t kMB = 1024 * 1024;

std::vector<sim::RamBank> banksOf(uint32_t count, uint32_t size) {
    std::vector<sim::RamBank> banks;
    for (uint32_t i = 0; i < count; ++i)
        banks.push_back({0xC0000000 + i * 0x08000000, size});
    return banks;
}

struct MdcnfCase {
    const char* what;
    sim::Processor processor;
    std::vector<sim::RamBank> banks;
    uint32_t mdcnf;
};

TEST(Sa11x0Dram, TheBootRomWritesTheRegisterOfItsParts) {
    const MdcnfCase cases[] = {
        // 8M x 16 SDRAM, 12 rows + 2 bank bits: DRAC 5, the value the
        // reference board writes for the same parts.
        {"SA-1110, 32 MB in bank 0", sim::Processor::SA1110, banksOf(1, 32 * kMB), 0x72547255},
        {"SA-1110, two banks of 32 MB", sim::Processor::SA1110, banksOf(2, 32 * kMB), 0x72547257},
        {"SA-1110, three banks", sim::Processor::SA1110, banksOf(3, 32 * kMB), 0x72557257},
        {"SA-1110, four banks", sim::Processor::SA1110, banksOf(4, 32 * kMB), 0x72577257},
        // 4M x 16 SDRAM, 12 rows + 2 bank bits, 256 columns: the same DRAC 5.
        {"SA-1110, 16 MB", sim::Processor::SA1110, banksOf(1, 16 * kMB), 0x72547255},
        // 16M x 16 SDRAM, 13 rows + 2 bank bits: DRAC 6.
        {"SA-1110, 64 MB", sim::Processor::SA1110, banksOf(1, 64 * kMB), 0x72647265},
        // 4M x 16 EDO DRAM, 12 rows, 10 columns: DRAC 3, TRP 4, TRASR 7, TDL 1, DRI 15.
        {"SA-1100, 16 MB", sim::Processor::SA1100, banksOf(1, 16 * kMB), 0x001EBA31},
        {"SA-1100, two banks of 16 MB", sim::Processor::SA1100, banksOf(2, 16 * kMB), 0x001EBA33},
        {"SA-1110, no part of 48 MB", sim::Processor::SA1110, banksOf(1, 48 * kMB), 0},
        {"SA-1100, no part of 32 MB", sim::Processor::SA1100, banksOf(1, 32 * kMB), 0},
        {"banks of two sizes", sim::Processor::SA1110, {{0xC0000000, 32 * kMB}, {0xC8000000, 16 * kMB}}, 0},
        {"five banks", sim::Processor::SA1110, banksOf(5, 32 * kMB), 0},
    };
    for (const MdcnfCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(sim::Sa11x0MemoryController(c.processor, c.banks).mdcnf(), c.mdcnf);
    }
}

} // namespace
