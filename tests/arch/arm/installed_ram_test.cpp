// The installed RAM as the loader learns it from the memory controllers:
// PXA2x0 MDCNFG values decoded into SDRAM partitions, SA-11x0 MDCNF values
// into DRAM banks, each processor's layout of its own.
#include "arch/arm/installed_ram.h"
#include "platform/wide_string.h"
#include "sim/board_devices.h"
#include "sim/cpu.h"
#include "sim/device_profile.h"

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

// SA-1110: DE bits 0/1 (16/17), DTIM bit 2, DWID bit 3, DRAC bits 6..4 (rows
// - 9); a bank holds 2^(rows + 11) bus words.
const MdcnfgCase kSa1110Cases[] = {
    // 12 rows, 32 bits: 2^23 * 4 = 32 MB; the timing bits of a booted iPAQ beside them.
    {"one 32 MB bank", 0x000052B5, {{0xC0000000, 0x02000000}}},
    {"two 32 MB banks", 0x000052B7, {{0xC0000000, 0x02000000}, {0xC8000000, 0x02000000}}},
    {"11 rows: 16 MB", 0x00000025, {{0xC0000000, 0x01000000}}},
    {"16-bit bus halves it", 0x0000003D, {{0xC0000000, 0x01000000}}},
    {"13 rows: 64 MB", 0x00000045, {{0xC0000000, 0x04000000}}},
    {"9 rows: 4 MB", 0x00000005, {{0xC0000000, 0x00400000}}},
    {"only bank 1 keeps its place", 0x00000036, {{0xC8000000, 0x02000000}}},
    {"only bank 2, from the second pair's fields", 0x00350000, {{0xD0000000, 0x02000000}}},
    {"all four",
     0x00370037,
     {{0xC0000000, 0x02000000},
      {0xC8000000, 0x02000000},
      {0xD0000000, 0x02000000},
      {0xD8000000, 0x02000000}}},
    {"nothing enabled", 0x000052B4, {}},
    {"reserved row count (5)", 0x00000055, {}},
    {"second pair reserved spoils all", 0x00550035, {}},
};

// SA-1100: DE0..DE3 bits 3..0, DRAC bits 5..4 (rows - 9) for all banks; a
// bank holds 2^(2 * rows) words of 4 bytes.
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
// DE2 where the SA-1110 has DTIM0, and 12 rows where it has 12 + 11.
TEST(InstalledRam, TheProcessorIdChoosesTheSa11x0Layout) {
    expectBanks(sa11x0::dramBanks(0x35, kSa1110Id), {{0xC0000000, 0x02000000}});
    expectBanks(sa11x0::dramBanks(0x35, kSa1100Id), {{0xC0000000, 0x04000000}, {0xD0000000, 0x04000000}});
    EXPECT_TRUE(sa11x0::dramBanks(0x35, kPxa270Id).empty());
}

// Every SA-11x0 profile's memory controller, read on its own processor,
// gives the profile's banks.
TEST(InstalledRam, SimulatedMemoryControllerDescribesEverySaProfile) {
    int checked = 0;
    for (const sim::DeviceProfile& profile : sim::deviceProfiles()) {
        if (sim::isXScale(profile.processor))
            continue;
        SCOPED_TRACE(utf16ToUtf8(profile.name));
        std::vector<sim::RamBank> expected = sim::ramBanks(profile);
        uint32_t mdcnf = sim::Sa11x0MemoryController(profile.processor, expected).mdcnf();
        Banks banks = sa11x0::dramBanks(mdcnf, sim::cp15Of(profile).id);
        ASSERT_EQ(banks.size(), expected.size());
        for (size_t i = 0; i < banks.size(); ++i) {
            EXPECT_EQ(banks[i].address, expected[i].base);
            EXPECT_EQ(banks[i].size, expected[i].size);
        }
        ++checked;
    }
    EXPECT_GT(checked, 0);
    // A bank size no geometry gives enables nothing.
    EXPECT_EQ(sim::Sa11x0MemoryController(sim::Processor::SA1110, {{0xC0000000, 0x03000000}}).mdcnf(), 0u);
    EXPECT_EQ(sim::Sa11x0MemoryController(sim::Processor::SA1100, {{0xC0000000, 0x02000000}}).mdcnf(), 0u);
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
