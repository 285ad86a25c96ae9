#include "arch/arm/installed_ram.h"

#include <bit>

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

std::vector<MemoryManager::Bank> dramBanks(uint32_t total_phys) {
    if (total_phys == 0 || total_phys > kDramBankSize)
        return {};
    return {{kDramBank0, std::bit_ceil(total_phys)}};
}

} // namespace sa11x0
