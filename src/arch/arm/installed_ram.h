// The RAM a handheld really has, learnt as a loader on the device can learn
// it: from the memory controller's configuration register, MDCNFG on the
// PXA2x0 and MDCNF on the SA-11x0. An empty result means "not learnt"; the
// caller then keeps the processor's largest possible banks.
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

// MDCNF, the DRAM configuration register. Its layout differs between the two
// processors; the bank size follows from the row address bits.
// SA-1110: banks 0 and 1 share the fields of bits 15..0, banks 2 and 3 the same
// fields 16 bits higher:
//   bit 0 / 1 (16 / 17)  DE0 / DE1 (DE2 / DE3): bank enabled
//   bit 2                DTIM0: 1 = SDRAM
//   bit 3                DWID0: 1 = 16-bit bus, 0 = 32-bit bus
//   bits 6..4            DRAC0: row address bits - 9 (5 to 7 reserved)
//   bits 15..7           clock divider and timing
//   The memory map gives every row 512 columns in four internal banks: a bank
//   holds 2^(rows + 11) bus words.
// SA-1100: one geometry for all four banks of EDO DRAM on a 32-bit bus:
//   bits 3..0            DE0..DE3: bank enabled
//   bits 5..4            DRAC: row address bits - 9
//   bits 31..6           timing and refresh
//   Addressed with as many column as row bits: a bank holds 2^(2 * rows) words.
constexpr uint32_t kMdcnfAddress = 0xA0000000;
constexpr uint32_t kDramBank0 = 0xC0000000;
constexpr uint32_t kDramBankSize = 0x08000000;

constexpr uint32_t kSa1110Sdram = 1u << 2;
constexpr uint32_t kSa1110Width16 = 1u << 3;
constexpr uint32_t kSa1110RowShift = 4;
constexpr uint32_t kSa1110RowMask = 7;
constexpr uint32_t kSa1110SecondPairShift = 16;
constexpr uint32_t kSa1100RowShift = 4;
constexpr uint32_t kSa1100RowMask = 3;

// The ARM processor ID's part number (bits 15..4) of each processor.
constexpr uint32_t kPartShift = 4;
constexpr uint32_t kPartMask = 0xFFF;
constexpr uint32_t kPartSa1100 = 0xA11;
constexpr uint32_t kPartSa1110 = 0xB11;

// The enabled banks with their size, lowest first; empty when none is
// enabled or an enabled bank's row count is reserved.
std::vector<MemoryManager::Bank> sa1110Banks(uint32_t mdcnf);
std::vector<MemoryManager::Bank> sa1100Banks(uint32_t mdcnf);
// The banks of an MDCNF read on the processor with ID register `cpu_id`;
// empty for a processor that is neither.
std::vector<MemoryManager::Bank> dramBanks(uint32_t mdcnf, uint32_t cpu_id);

} // namespace sa11x0
