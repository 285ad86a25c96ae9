#include "arch/arm/pxa2x0_architecture.h"

#include "arch/arm/arm_code.h"
#include "arch/arm/installed_ram.h"

namespace {

// The four banks fill a 256 MB region; an address keeps its offset in it.
constexpr uint32_t kSdramRegionMask = 0x0FFFFFFF;
constexpr uint32_t kDCacheSize = 65536;
// The kernel's virtual addresses of the SDRAM region.
constexpr uint64_t kKernelVirtualBase = 0xC0000000;

} // namespace

PXA2x0Architecture::PXA2x0Architecture(Console** console, MemoryManager** memory)
    : ArmArchitecture(console, memory) {
    print(u"PXA-2x0 CPU.\n");
}

bool PXA2x0Architecture::init() {
    return initBanks(pxa2x0::kPartitionBase, pxa2x0::kPartitionSize, kDCacheSize);
}

bool PXA2x0Architecture::setupLoader() {
    return placeSecondStage(SecondStage_pxa2x0, SecondStage_pxa2x0_size);
}

std::vector<MemoryManager::Bank> PXA2x0Architecture::installedBanks() {
    uint32_t value = 0;
    if (!readPhysicalRegister(pxa2x0::kMdcnfgAddress, value))
        return {};
    print(u"MDCNFG = 0x%08x\n", value);
    return pxa2x0::sdramBanks(value);
}

uint32_t PXA2x0Architecture::finalAddress(uint32_t address) const {
    return (address & kSdramRegionMask) | pxa2x0::kPartitionBase;
}

std::vector<MemoryManager::Stretch> PXA2x0Architecture::kernelWindows() const {
    constexpr uint64_t region = uint64_t{kSdramRegionMask} + 1;
    return {{pxa2x0::kPartitionBase, pxa2x0::kPartitionBase + region},
            {kKernelVirtualBase, kKernelVirtualBase + region}};
}

void PXA2x0Architecture::jump(uint32_t args_paddr, uint32_t list_paddr) {
    if (!handOver(args_paddr, list_paddr, FlatJump_pxa2x0))
        return;
    ce::SetKMode(ce::FALSE);
    print(u"Return from FlatJump_pxa2x0.\n");
}
