#include "sim/sa11x0_dram.h"

namespace sim {

namespace {

// The parts of the simulated boards, by data sheet. The SA-1110 boards take
// SDRAMs with four internal banks; the 16 MB one has 256 columns where the
// larger have 512, and writes the same row count as the 32 MB one.
const DramPart kSa1110Parts[] = {
    {"64 Mbit 4M x 16 SDRAM", true, 12, 2, 8},
    {"128 Mbit 8M x 16 SDRAM", true, 12, 2, 9},
    {"256 Mbit 16M x 16 SDRAM", true, 13, 2, 9},
};
// The SA-1100 board takes EDO DRAM with fewer columns than rows.
const DramPart kSa1100Parts[] = {
    {"64 Mbit 4M x 16 EDO DRAM", false, 12, 0, 10},
};

constexpr uint32_t kRowBitsBase = 9; // DRAC 0

// SA-1110, one bank pair's fields: enables in bits 1..0, DTIM bit 2, DWID
// bit 3 (0: 32 bits), DRAC in bits 6..4 counting an SDRAM's bank address bits
// with its rows, then the timing the reference board's ROM sets: CDB20 0,
// TRP0 2, TDL0 3, TWR0 1.
uint32_t sa1110PairFields(const DramPart& part, uint32_t enables) {
    constexpr uint32_t kTiming = 2u << 8 | 3u << 12 | 1u << 14;
    uint32_t drac = part.row_bits + part.internal_bank_bits - kRowBitsBase;
    return enables | (part.sdram ? 1u << 2 : 0u) | drac << 4 | kTiming;
}

} // namespace

uint64_t dramBankBytes(const DramPart& part) {
    return (uint64_t{1} << (part.row_bits + part.internal_bank_bits + part.column_bits)) * 4;
}

const DramPart* dramPartFor(Processor processor, uint64_t bank_bytes) {
    if (processor == Processor::SA1110) {
        for (const DramPart& part : kSa1110Parts) {
            if (dramBankBytes(part) == bank_bytes)
                return &part;
        }
    } else if (processor == Processor::SA1100) {
        for (const DramPart& part : kSa1100Parts) {
            if (dramBankBytes(part) == bank_bytes)
                return &part;
        }
    }
    return nullptr;
}

uint32_t sa1110Mdcnf(const DramPart& part, uint32_t banks) {
    // Both pairs carry the geometry, as the reference board's ROM leaves them.
    uint32_t low = banks >= 2 ? 0x3u : banks == 1 ? 0x1u : 0x0u;
    uint32_t high = banks >= 4 ? 0x3u : banks == 3 ? 0x1u : 0x0u;
    return sa1110PairFields(part, low) | sa1110PairFields(part, high) << 16;
}

// SA-1100: DE0..DE3 in bits 3..0, DRAC (rows - 9) in bits 5..4, and the
// timing and refresh of bits 31..7: TRP 4, TRASR 7, TDL 1, DRI 15.
uint32_t sa1100Mdcnf(const DramPart& part, uint32_t banks) {
    constexpr uint32_t kTiming = 4u << 7 | 7u << 11 | 1u << 15 | 0x0Fu << 17;
    return ((1u << banks) - 1) | (part.row_bits - kRowBitsBase) << 4 | kTiming;
}

uint32_t sa11x0Mdcnf(Processor processor, const std::vector<RamBank>& banks) {
    if (banks.empty() || banks.size() > 4)
        return 0;
    for (const RamBank& bank : banks) {
        if (bank.size != banks.front().size)
            return 0;
    }
    const DramPart* part = dramPartFor(processor, banks.front().size);
    if (part == nullptr)
        return 0;
    uint32_t count = static_cast<uint32_t>(banks.size());
    return processor == Processor::SA1100 ? sa1100Mdcnf(*part, count) : sa1110Mdcnf(*part, count);
}

} // namespace sim
