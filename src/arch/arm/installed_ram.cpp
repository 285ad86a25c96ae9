#include "arch/arm/installed_ram.h"

namespace pxa2x0 {

namespace {

// Bytes of one partition of a pair whose fields start at bit 0; 0 when reserved.
uint64_t partitionBytes(uint32_t pair) {
    uint32_t rows_code = (pair >> kRowShift) & 3;
    if (rows_code == 3)
        return 0;
    uint32_t rows = 11 + rows_code;
    uint32_t columns = 8 + ((pair >> kColumnShift) & 3);
    uint64_t internal_banks = (pair & kFourBanks) != 0 ? 4 : 2;
    uint64_t bus_bytes = (pair & kWidth16) != 0 ? 2 : 4;
    return (uint64_t{1} << (rows + columns)) * internal_banks * bus_bytes;
}

} // namespace

std::vector<MemoryManager::Bank> sdramBanks(uint32_t mdcnfg) {
    std::vector<MemoryManager::Bank> banks;
    for (uint32_t pair = 0; pair < 2; ++pair) {
        uint32_t fields = mdcnfg >> (pair * kSecondPairShift);
        for (uint32_t partition = 0; partition < 2; ++partition) {
            if ((fields & (partition == 0 ? kEnableLow : kEnableHigh)) == 0)
                continue;
            uint64_t bytes = partitionBytes(fields);
            if (bytes == 0 || bytes > kPartitionSize)
                return {};
            banks.push_back(
                {kPartitionBase + (pair * 2 + partition) * kPartitionSize, static_cast<uint32_t>(bytes)});
        }
    }
    return banks;
}

} // namespace pxa2x0

namespace sa11x0 {

namespace {

MemoryManager::Bank bankAt(uint32_t index, uint64_t bytes) {
    return {kDramBank0 + index * kDramBankSize, static_cast<uint32_t>(bytes)};
}

} // namespace

std::vector<MemoryManager::Bank> sa1110Banks(uint32_t mdcnf) {
    std::vector<MemoryManager::Bank> banks;
    for (uint32_t pair = 0; pair < 2; ++pair) {
        uint32_t fields = mdcnf >> (pair * kSa1110SecondPairShift);
        uint32_t drac = (fields >> kSa1110DracShift) & kSa1110DracMask;
        uint64_t bus_bytes = (fields & kSa1110Width16) != 0 ? 2 : 4;
        for (uint32_t bank = 0; bank < 2; ++bank) {
            if ((fields & (1u << bank)) == 0)
                continue;
            if (drac == kSa1110DracReserved)
                return {};
            uint32_t address_bits = kDracBase + drac + kSa1110MostColumnBits;
            banks.push_back(bankAt(pair * 2 + bank, (uint64_t{1} << address_bits) * bus_bytes));
        }
    }
    return banks;
}

std::vector<MemoryManager::Bank> sa1100Banks(uint32_t mdcnf) {
    uint32_t rows = kDracBase + ((mdcnf >> kSa1100DracShift) & kSa1100DracMask);
    std::vector<MemoryManager::Bank> banks;
    for (uint32_t bank = 0; bank < 4; ++bank) {
        if ((mdcnf & (1u << bank)) != 0)
            banks.push_back(bankAt(bank, (uint64_t{1} << (2 * rows)) * 4));
    }
    return banks;
}

std::vector<MemoryManager::Bank> dramBanks(uint32_t mdcnf, uint32_t cpu_id) {
    switch ((cpu_id >> kPartShift) & kPartMask) {
    case kPartSa1110:
        return sa1110Banks(mdcnf);
    case kPartSa1100:
        return sa1100Banks(mdcnf);
    default:
        return {};
    }
}

} // namespace sa11x0
