// The RAM a handheld really has, learnt as a loader on the device can learn
// it: from the PXA2x0 memory controller's configuration, or from the OS's
// count of physical memory on SA-11x0. An empty result means "not learnt";
// the caller then keeps the processor's largest possible banks.
#pragma once

#include "memory/memory_manager.h"

#include <cstdint>
#include <vector>

namespace pxa2x0 {

// MDCNFG, the SDRAM configuration register. Banks 0 and 1 share the
// geometry in bits 7..2, banks 2 and 3 the same fields 16 bits higher:
//   bit 0 / 1 (16 / 17)  DE0 / DE1 (DE2 / DE3): partition enabled
//   bit 2                DWID0: 1 = 16-bit bus, 0 = 32-bit bus
//   bits 4..3            DCAC0: column address bits - 8
//   bits 6..5            DRAC0: row address bits - 11 (3 is reserved)
//   bit 7                DNB0: 1 = four internal SDRAM banks, 0 = two
constexpr uint32_t kMdcnfgAddress = 0x48000000;
constexpr uint32_t kPartitionBase = 0xA0000000;
constexpr uint32_t kPartitionSize = 0x04000000;

constexpr uint32_t kEnableLow = 1u << 0;
constexpr uint32_t kEnableHigh = 1u << 1;
constexpr uint32_t kWidth16 = 1u << 2;
constexpr uint32_t kColumnShift = 3;
constexpr uint32_t kRowShift = 5;
constexpr uint32_t kFourBanks = 1u << 7;
constexpr uint32_t kSecondPairShift = 16;

// The enabled partitions with the size their geometry gives, lowest first;
// empty when none is enabled or an enabled pair's geometry is reserved or
// larger than its partition.
std::vector<MemoryManager::Bank> sdramBanks(uint32_t mdcnfg);

} // namespace pxa2x0

namespace sa11x0 {

constexpr uint32_t kDramBank0 = 0xC0000000;
constexpr uint32_t kDramBankSize = 0x08000000;

// Windows CE counts the physical memory it manages, which is the installed
// RAM less what the kernel keeps for itself: the RAM is the next power of
// two, in DRAM bank 0. Empty when the count is 0 or bank 0 cannot hold it.
std::vector<MemoryManager::Bank> dramBanks(uint32_t total_phys);

} // namespace sa11x0
