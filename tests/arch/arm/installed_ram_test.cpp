// The installed RAM as the loader learns it from the memory controllers:
// PXA2x0 MDCNFG values decoded into SDRAM partitions, SA-11x0 MDCNF values
// into DRAM banks, each processor's layout of its own.
#include "arch/arm/installed_ram.h"
#include "platform/wide_string.h"
#include "sim/board_devices.h"
#include "sim/cpu.h"
#include "sim/device_profile.h"
#include "sim/sa11x0_dram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Banks = std::vector<MemoryManager::Bank>;

void expectBanks(const Banks& banks, const Banks& expected) {
    ASSERT_EQ(banks.size(), expected.size());
    for (size_t i = 0; i < banks.size(); ++i) {
        EXPECT_EQ(banks[i].address, expected[i].address) << i;
        EXPECT_EQ(banks[i].size, expected[i].size) << i;
    }
}

struct MdcnfgCase {
    const char* what;
    uint32_t mdcnfg;
    Banks banks;
};

// Each value is worked out field by field: DE bits 0/1 (16/17), DWID bit 2,
// DCAC bits 4..3 (columns - 8), DRAC bits 6..5 (rows - 11), DNB bit 7.
const MdcnfgCase kMdcnfgCases[] = {
    // 13 rows (2), 9 columns (1), 4 banks, 32 bits: 2^22 * 4 * 4 = 64 MB.
    {"one 64 MB partition", 0x000000C9, {{0xA0000000, 0x04000000}}},
    {"two 64 MB partitions", 0x000000CB, {{0xA0000000, 0x04000000}, {0xA4000000, 0x04000000}}},
    {"all four, pair 2/3 with the same geometry",
     0x00CB00CB,
     {{0xA0000000, 0x04000000},
      {0xA4000000, 0x04000000},
      {0xA8000000, 0x04000000},
      {0xAC000000, 0x04000000}}},
    // 12 rows (1), 9 columns (1), 4 banks, 32 bits: 32 MB.
    {"one 32 MB partition", 0x000000A9, {{0xA0000000, 0x02000000}}},
    // The same on a 16-bit bus: 16 MB.
    {"16-bit bus halves it", 0x000000AD, {{0xA0000000, 0x01000000}}},
    // 11 rows, 8 columns, 2 banks, 32 bits: 2^19 * 2 * 4 = 4 MB.
    {"smallest geometry", 0x00000001, {{0xA0000000, 0x00400000}}},
    // Only partition 2 enabled: pair 2/3's fields give 64 MB at 0xA8000000.
    {"only partition 2", 0x00C90000, {{0xA8000000, 0x04000000}}},
    // Partition 1 without partition 0 keeps its own place.
    {"only partition 1", 0x000000CA, {{0xA4000000, 0x04000000}}},
    {"nothing enabled", 0x000000C8, {}},
    {"reserved row count (3)", 0x000000E9, {}},
    // 13 rows, 10 columns, 4 banks, 32 bits: 128 MB, more than a partition.
    {"larger than a partition", 0x000000D1, {}},
    {"pair 2/3 reserved spoils all", 0x00E300C9, {}},
};

TEST(InstalledRam, Pxa2x0MdcnfgGivesTheEnabledPartitionsAndTheirSize) {
    for (const MdcnfgCase& c : kMdcnfgCases) {
        SCOPED_TRACE(c.what);
        expectBanks(pxa2x0::sdramBanks(c.mdcnfg), c.banks);
    }
}

constexpr uint32_t kSa1110Id = 0x6901B118;
constexpr uint32_t kSa1100Id = 0x4401A11B;
constexpr uint32_t kPxa270Id = 0x69054117;

// Values real boards' boot ROMs write, with the RAM the board has. The
// decoder must give exactly that where the register tells it (parts with
// 512 columns on the SA-1110).
struct BoardCase {
    const char* board;
    uint32_t cpu_id;
    uint32_t mdcnf;
    Banks banks;
};
const BoardCase kBoards[] = {
    // SA-1110 reference board: 32 MB of 8M x 16 SDRAM in bank 0, 32-bit bus, DRAC 5.
    {"Intel Assabet (SA-1110)", kSa1110Id, 0x72547255, {{0xC0000000, 0x02000000}}},
};

TEST(InstalledRam, PublishedMdcnfValuesOfRealBoardsGiveTheirRam) {
    for (const BoardCase& c : kBoards) {
        SCOPED_TRACE(c.board);
        expectBanks(sa11x0::dramBanks(c.mdcnf, c.cpu_id), c.banks);
    }
}

// SA-1110: DE bits 0/1 (16/17), DTIM bit 2, DWID bit 3, DRAC bits 6..4 (row
// bits counting an SDRAM's internal bank bits, - 9); a bank holds at most
// 2^(row bits + 9) bus words. Worked out field by field.
const MdcnfgCase kSa1110Cases[] = {
    // DRAC 6: 13 rows and 2 bank bits, 2^24 * 4 = 64 MB (16M x 16 parts).
    {"DRAC 6: 64 MB", 0x00000065, {{0xC0000000, 0x04000000}}},
    {"DRAC 5 on a 16-bit bus: 16 MB", 0x0000005D, {{0xC0000000, 0x01000000}}},
    {"DRAC 3: 8 MB", 0x00000035, {{0xC0000000, 0x00800000}}},
    {"DRAC 0: 9 row bits, 1 MB", 0x00000005, {{0xC0000000, 0x00100000}}},
    {"asynchronous DRAM, DRAC 4: 16 MB", 0x00000041, {{0xC0000000, 0x01000000}}},
    {"two banks", 0x72547257, {{0xC0000000, 0x02000000}, {0xC8000000, 0x02000000}}},
    {"only bank 1 keeps its place", 0x00000056, {{0xC8000000, 0x02000000}}},
    {"only bank 2, from the second pair's fields", 0x00657254, {{0xD0000000, 0x04000000}}},
    {"all four",
     0x72577257,
     {{0xC0000000, 0x02000000},
      {0xC8000000, 0x02000000},
      {0xD0000000, 0x02000000},
      {0xD8000000, 0x02000000}}},
    {"nothing enabled", 0x72547254, {}},
    {"reserved row count (7)", 0x00000075, {}},
    {"a disabled pair's reserved row count is no matter", 0x00747255, {{0xC0000000, 0x02000000}}},
    {"an enabled second pair reserved spoils all", 0x00757255, {}},
};

// SA-1100: DE0..DE3 bits 3..0, DRAC bits 5..4 (rows - 9) for all banks; a
// DRAM has no more columns than rows, so a bank holds at most 2^(2 * rows)
// words of 4 bytes.
const MdcnfgCase kSa1100Cases[] = {
    {"11 rows: 16 MB", 0x00000021, {{0xC0000000, 0x01000000}}},
    {"with timing and refresh", 0x001EBA21, {{0xC0000000, 0x01000000}}},
    {"two 9-row banks: 1 MB each", 0x00000003, {{0xC0000000, 0x00100000}, {0xC8000000, 0x00100000}}},
    {"all four of 12 rows: 64 MB each",
     0x0000003F,
     {{0xC0000000, 0x04000000},
      {0xC8000000, 0x04000000},
      {0xD0000000, 0x04000000},
      {0xD8000000, 0x04000000}}},
    {"only bank 2", 0x00000004, {{0xD0000000, 0x00100000}}},
    {"nothing enabled", 0x001EBA20, {}},
};

TEST(InstalledRam, Sa11x0MdcnfGivesTheEnabledBanksAndTheirSizeInEachProcessorsLayout) {
    for (const MdcnfgCase& c : kSa1110Cases) {
        SCOPED_TRACE(std::string("SA-1110: ") + c.what);
        expectBanks(sa11x0::sa1110Banks(c.mdcnfg), c.banks);
    }
    for (const MdcnfgCase& c : kSa1100Cases) {
        SCOPED_TRACE(std::string("SA-1100: ") + c.what);
        expectBanks(sa11x0::sa1100Banks(c.mdcnfg), c.banks);
    }
}

// The processor ID chooses the layout: the same value read on an SA-1100 has
// DE2 where the SA-1110 has DTIM0, and 12 rows (at most 12 columns) where the
// SA-1110 has 12 row and bank bits (at most 9 columns).
TEST(InstalledRam, TheProcessorIdChoosesTheSa11x0Layout) {
    expectBanks(sa11x0::dramBanks(0x35, kSa1110Id), {{0xC0000000, 0x00800000}});
    expectBanks(sa11x0::dramBanks(0x35, kSa1100Id), {{0xC0000000, 0x04000000}, {0xD0000000, 0x04000000}});
    EXPECT_TRUE(sa11x0::dramBanks(0x35, kPxa270Id).empty());
}

// Every SA-11x0 profile's memory controller, read on its own processor,
// gives banks at the profile's places that hold at least the profile's RAM,
// and exactly that where its parts have the most columns the register allows.
TEST(InstalledRam, SimulatedMemoryControllerDescribesEverySaProfile) {
    int checked = 0;
    int exact = 0;
    for (const sim::DeviceProfile& profile : sim::deviceProfiles()) {
        if (sim::isXScale(profile.processor))
            continue;
        SCOPED_TRACE(utf16ToUtf8(profile.name));
        std::vector<sim::RamBank> expected = sim::ramBanks(profile);
        const sim::DramPart* part = sim::dramPartFor(profile.processor, expected.front().size);
        ASSERT_NE(part, nullptr);
        uint32_t most_columns = profile.processor == sim::Processor::SA1110 ? 9 : part->row_bits;
        uint32_t mdcnf = sim::Sa11x0MemoryController(profile.processor, expected).mdcnf();
        Banks banks = sa11x0::dramBanks(mdcnf, sim::cp15Of(profile).id);
        ASSERT_EQ(banks.size(), expected.size());
        for (size_t i = 0; i < banks.size(); ++i) {
            EXPECT_EQ(banks[i].address, expected[i].base);
            EXPECT_GE(banks[i].size, expected[i].size);
            if (part->column_bits == most_columns) {
                EXPECT_EQ(banks[i].size, expected[i].size);
            }
        }
        exact += part->column_bits == most_columns ? 1 : 0;
        ++checked;
    }
    // Both kinds are among the machines: RAM the register tells, and RAM it bounds.
    EXPECT_GT(exact, 0);
    EXPECT_GT(checked, exact);
}

// The simulated boards' memory controller describes each PXA2x0 profile's RAM
// in partitions filled from 0xA0000000, as the loader decodes them.
TEST(InstalledRam, SimulatedMemoryControllerDescribesEveryPxaProfile) {
    int checked = 0;
    for (const sim::DeviceProfile& profile : sim::deviceProfiles()) {
        if (!sim::isXScale(profile.processor))
            continue;
        SCOPED_TRACE(profile.ram_size);
        Banks banks = pxa2x0::sdramBanks(sim::Pxa2x0MemoryController(profile.ram_size).mdcnfg());
        ASSERT_FALSE(banks.empty());
        uint32_t next = profile.ram_base;
        for (const MemoryManager::Bank& bank : banks) {
            EXPECT_EQ(bank.address, next);
            next += bank.size;
        }
        EXPECT_EQ(next - profile.ram_base, profile.ram_size);
        ++checked;
    }
    EXPECT_GT(checked, 0);
    // A size no SDRAM geometry gives enables nothing.
    EXPECT_EQ(sim::Pxa2x0MemoryController(0x05000000).mdcnfg(), 0u);
}

} // namespace
