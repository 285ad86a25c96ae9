// The DRAM of the simulated SA-11x0 boards as their boot ROMs leave it: the
// parts each bank is built of and the MDCNF value written for them. This side
// starts from the parts' organisation, as a board's designer does; the
// loader's decoder (src/arch/arm/installed_ram.h) reads the register on its
// own, so the one checks the other.
#pragma once

#include "sim/device_profile.h"

#include <cstdint>
#include <vector>

namespace sim {

// One memory part's organisation, as its data sheet gives it.
struct DramPart {
    const char* name;
    bool sdram;
    uint32_t row_bits;
    uint32_t internal_bank_bits; // an SDRAM's bank address bits; 0 for asynchronous DRAM
    uint32_t column_bits;
};

// The bytes of one bank of `part`, as many parts side by side as fill the 32-bit bus.
uint64_t dramBankBytes(const DramPart& part);
// The part a bank of `bank_bytes` is built of on the simulated boards of
// `processor`; null when none is.
const DramPart* dramPartFor(Processor processor, uint64_t bank_bytes);
// MDCNF as a boot ROM writes it for `banks` banks of `part` from bank 0 on,
// each processor in its own layout.
uint32_t sa1110Mdcnf(const DramPart& part, uint32_t banks);
uint32_t sa1100Mdcnf(const DramPart& part, uint32_t banks);
// MDCNF for `banks` on `processor`: 0, no bank enabled, when the banks are
// not all of one size that a part gives, or more than four.
uint32_t sa11x0Mdcnf(Processor processor, const std::vector<RamBank>& banks);

} // namespace sim
