// StrongARM SA-1100 / SA-1110: DRAM in up to four 128 MB banks at 0xC0000000,
// the installed ones learnt from the memory controller.
#pragma once

#include "arch/arm/arm_architecture.h"

class SA1100Architecture : public ArmArchitecture {
  public:
    SA1100Architecture(Console** console, MemoryManager** memory);
    bool init() override;
    bool setupLoader() override;
    void jump(uint32_t args_paddr, uint32_t list_paddr) override;

  protected:
    std::vector<MemoryManager::Bank> installedBanks() override;
};
