#include "arch/arm/sa1100_architecture.h"

#include "arch/arm/arm_code.h"
#include "arch/arm/installed_ram.h"

namespace {

constexpr uint32_t kDCacheSize = 8192;

} // namespace

SA1100Architecture::SA1100Architecture(Console** console, MemoryManager** memory)
    : ArmArchitecture(console, memory) {
    print(u"SA-11x0 CPU.\n");
}

bool SA1100Architecture::init() {
    return initBanks(sa11x0::kDramBank0, sa11x0::kDramBankSize, kDCacheSize);
}

// MDCNF's layout depends on the processor, which its ID register names.
std::vector<MemoryManager::Bank> SA1100Architecture::installedBanks() {
    uint32_t value = 0;
    if (!readPhysicalRegister(sa11x0::kMdcnfAddress, value))
        return {};
    ce::BOOL kmode = ce::SetKMode(ce::TRUE);
    uint32_t cpu_id = ReadCP15_c0();
    ce::SetKMode(kmode);
    print(u"MDCNF = 0x%08x\n", value);
    return sa11x0::dramBanks(value, cpu_id);
}

bool SA1100Architecture::setupLoader() {
    return placeSecondStage(SecondStage_sa11x0, SecondStage_sa11x0_size);
}

void SA1100Architecture::jump(uint32_t args_paddr, uint32_t list_paddr) {
    handOver(args_paddr, list_paddr, FlatJump_sa11x0);
}
