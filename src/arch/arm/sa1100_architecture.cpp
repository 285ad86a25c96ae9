#include "arch/arm/sa1100_architecture.h"

#include "arch/arm/arm_code.h"

namespace {

constexpr uint32_t kDramBank0 = 0xC0000000;
constexpr uint32_t kDramBankSize = 0x08000000;
constexpr uint32_t kDCacheSize = 8192;

} // namespace

SA1100Architecture::SA1100Architecture(Console** console, MemoryManager** memory)
    : ArmArchitecture(console, memory) {
    print(u"SA-11x0 CPU.\n");
}

bool SA1100Architecture::init() {
    return initBanks(kDramBank0, kDramBankSize, kDCacheSize);
}

bool SA1100Architecture::setupLoader() {
    return placeSecondStage(SecondStage_sa11x0, SecondStage_sa11x0_size);
}

void SA1100Architecture::jump(uint32_t args_paddr, uint32_t list_paddr) {
    handOver(args_paddr, list_paddr, FlatJump_sa11x0);
}
