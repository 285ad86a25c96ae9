// The RAM a handheld really has, learnt as a loader on the device can learn
// it: from the memory controller's configuration register, MDCNFG on the
// PXA2x0 and MDCNF on the SA-11x0 (which tells a bank's size only up to a
// bound). An empty result means "not learnt"; the caller then keeps the
// processor's largest possible banks.
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
// processors. Neither layout has a column count, so a bank's size is known
// only up to that: the decoder registers the most a bank with the rows the
// register names can hold, never less than the RAM that is there.
// SA-1110: banks 0 and 1 share the fields of bits 15..0, banks 2 and 3 the same
// fields 16 bits higher:
//   bit 0 / 1 (16 / 17)  DE0 / DE1 (DE2 / DE3): bank enabled
//   bit 2                DTIM0: 1 = SDRAM, 0 = asynchronous DRAM
//   bit 3                DWID0: 1 = 16-bit bus, 0 = 32-bit bus
//   bits 6..4            DRAC0: row address bits - 9, an SDRAM's internal
//                        bank address bits counted as row bits (7 reserved)
//   bit 7                CDB20: memory clock divided by 2
//   bits 15..8           TRP0, TDL0, TWR0: timing
//   The processor gives a row at most 512 columns (nine column address
//   bits): a bank holds at most 2^(row bits + 9) bus words. The reference
//   board writes 0x72547255 for its 32 MB of 8M x 16 SDRAMs (12 rows, 4
//   internal banks, 512 columns): DRAC 5, 2^23 words of 4 bytes.
// SA-1100: one geometry for all four banks of DRAM on a 32-bit bus:
//   bits 3..0            DE0..DE3: bank enabled
//   bits 5..4            DRAC: row address bits - 9
//   bit 6                CDB2: memory clock divided by 2
//   bits 31..7           timing and refresh
//   A DRAM has no more column than row address bits: a bank holds at most
//   2^(2 * row bits) words of 4 bytes.
constexpr uint32_t kMdcnfAddress = 0xA0000000;
constexpr uint32_t kDramBank0 = 0xC0000000;
constexpr uint32_t kDramBankSize = 0x08000000;

// DRAC + kDracBase row address bits, on both processors.
constexpr uint32_t kDracBase = 9;
constexpr uint32_t kSa1110Sdram = 1u << 2;
constexpr uint32_t kSa1110Width16 = 1u << 3;
// DRAC0: row and internal-bank address bits - 9.
constexpr uint32_t kSa1110DracShift = 4;
constexpr uint32_t kSa1110DracMask = 7;
constexpr uint32_t kSa1110DracReserved = 7;
constexpr uint32_t kSa1110MostColumnBits = 9;
constexpr uint32_t kSa1110SecondPairShift = 16;
constexpr uint32_t kSa1100DracShift = 4;
constexpr uint32_t kSa1100DracMask = 3;

// The ARM processor ID's part number (bits 15..4) of each processor.
constexpr uint32_t kPartShift = 4;
constexpr uint32_t kPartMask = 0xFFF;
constexpr uint32_t kPartSa1100 = 0xA11;
constexpr uint32_t kPartSa1110 = 0xB11;

// The enabled banks with the most each can hold, lowest first; empty when
// none is enabled or an enabled bank's row count is reserved.
std::vector<MemoryManager::Bank> sa1110Banks(uint32_t mdcnf);
std::vector<MemoryManager::Bank> sa1100Banks(uint32_t mdcnf);
// The banks of an MDCNF read on the processor with ID register `cpu_id`;
// empty for a processor that is neither.
std::vector<MemoryManager::Bank> dramBanks(uint32_t mdcnf, uint32_t cpu_id);

} // namespace sa11x0
