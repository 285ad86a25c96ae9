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

// The SA-1100's and the SA-1110's memory controllers differ and neither
// register tells a bank's size by itself: the OS's count is used.
std::vector<MemoryManager::Bank> SA1100Architecture::installedBanks() {
    ce::MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    ce::GlobalMemoryStatus(&status);
    print(u"physical memory = 0x%08x\n", status.dwTotalPhys);
    return sa11x0::dramBanks(status.dwTotalPhys);
}

bool SA1100Architecture::setupLoader() {
    return placeSecondStage(SecondStage_sa11x0, SecondStage_sa11x0_size);
}

void SA1100Architecture::jump(uint32_t args_paddr, uint32_t list_paddr) {
    handOver(args_paddr, list_paddr, FlatJump_sa11x0);
}
