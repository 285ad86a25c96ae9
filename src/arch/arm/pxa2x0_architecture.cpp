#include "arch/arm/pxa2x0_architecture.h"

#include "arch/arm/arm_code.h"

namespace {

constexpr uint32_t kSdramBank0 = 0xA0000000;
constexpr uint32_t kSdramBankSize = 0x04000000;
// The four banks fill a 256 MB region; an address keeps its offset in it.
constexpr uint32_t kSdramRegionMask = 0x0FFFFFFF;
constexpr uint32_t kDCacheSize = 65536;

} // namespace

PXA2x0Architecture::PXA2x0Architecture(Console** console, MemoryManager** memory)
    : ArmArchitecture(console, memory) {
    print(u"PXA-2x0 CPU.\n");
}

bool PXA2x0Architecture::init() {
    return initBanks(kSdramBank0, kSdramBankSize, kDCacheSize);
}

bool PXA2x0Architecture::setupLoader() {
    return placeSecondStage(SecondStage_pxa2x0, SecondStage_pxa2x0_size);
}

uint32_t PXA2x0Architecture::finalAddress(uint32_t address) const {
    return (address & kSdramRegionMask) | kSdramBank0;
}

void PXA2x0Architecture::jump(uint32_t args_paddr, uint32_t list_paddr) {
    if (!handOver(args_paddr, list_paddr, FlatJump_pxa2x0))
        return;
    ce::SetKMode(ce::FALSE);
    print(u"Return from FlatJump_pxa2x0.\n");
}
