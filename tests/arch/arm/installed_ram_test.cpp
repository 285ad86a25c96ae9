// The installed RAM as the loader learns it: PXA2x0 MDCNFG values decoded into
// SDRAM partitions, and the SA-11x0 bank from the OS's count of memory.
#include "arch/arm/installed_ram.h"
#include "sim/board_devices.h"
#include "sim/device_profile.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Banks = std::vector<MemoryManager::Bank>;

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
        Banks banks = pxa2x0::sdramBanks(c.mdcnfg);
        ASSERT_EQ(banks.size(), c.banks.size());
        for (size_t i = 0; i < banks.size(); ++i) {
            EXPECT_EQ(banks[i].address, c.banks[i].address) << i;
            EXPECT_EQ(banks[i].size, c.banks[i].size) << i;
        }
    }
}

TEST(InstalledRam, Sa11x0BankIsTheOsCountRaisedToAPowerOfTwo) {
    struct Case {
        uint32_t total_phys;
        Banks banks;
    };
    const Case cases[] = {
        {0x03E80000, {{0xC0000000, 0x04000000}}},
        {0x04000000, {{0xC0000000, 0x04000000}}},
        {0x04000001, {{0xC0000000, 0x08000000}}},
        {0x00F00000, {{0xC0000000, 0x01000000}}},
        {0x08000000, {{0xC0000000, 0x08000000}}},
        {0x08000001, {}}, // more than DRAM bank 0 holds
        {0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.total_phys);
        Banks banks = sa11x0::dramBanks(c.total_phys);
        ASSERT_EQ(banks.size(), c.banks.size());
        if (!banks.empty()) {
            EXPECT_EQ(banks[0].address, c.banks[0].address);
            EXPECT_EQ(banks[0].size, c.banks[0].size);
        }
    }
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
