#include "sim/ram_split.h"

#include "sim/display_memory.h"

namespace sim {

std::vector<RamBank> kernelPart(const DeviceProfile& profile) {
    std::vector<RamBank> part = {{profile.ram_base, kKernelDataBytes}};
    DisplayMemory display = displayMemory(profile);
    if (display.in_ram)
        part.push_back({display.reserved_base, display.reserved_bytes});
    return part;
}

uint32_t kernelPartBytes(const DeviceProfile& profile) {
    uint32_t bytes = 0;
    for (const RamBank& range : kernelPart(profile))
        bytes += range.size;
    return bytes;
}

uint32_t defaultObjectStoreBytes(const DeviceProfile& profile) {
    return profile.ram_size / 2;
}

uint32_t programMemoryBytes(const DeviceProfile& profile, uint32_t object_store) {
    uint64_t taken = uint64_t{kernelPartBytes(profile)} + object_store;
    return taken < profile.ram_size ? static_cast<uint32_t>(profile.ram_size - taken) : 0;
}

} // namespace sim
