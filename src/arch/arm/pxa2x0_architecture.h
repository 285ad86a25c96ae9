// XScale PXA250 / PXA270: up to four 64 MB SDRAM partitions at 0xA0000000.
#pragma once

#include "arch/arm/arm_architecture.h"

class PXA2x0Architecture : public ArmArchitecture {
  public:
    PXA2x0Architecture(Console** console, MemoryManager** memory);
    bool init() override;
    bool setupLoader() override;
    void jump(uint32_t args_paddr, uint32_t list_paddr) override;
    // The second stage keeps an address's low 28 bits in the SDRAM region at 0xA0000000.
    uint32_t finalAddress(uint32_t address) const override;

  protected:
    std::vector<MemoryManager::Bank> installedBanks() override;
    // SDRAM by its physical address and the kernel's virtual view of it.
    std::vector<MemoryManager::Stretch> kernelWindows() const override;
};
