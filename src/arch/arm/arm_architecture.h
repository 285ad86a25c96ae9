// What every ARM processor shares: kernel mode, the control-register report,
// data-cache cleaning, placement of the second stage and the hand-over.
#pragma once

#include "arch/architecture.h"
#include "arch/arm/cpu_routines.h"
#include "memory/memory_manager.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using JumpRoutine = void (*)(uint32_t args_paddr, uint32_t list_paddr, uint32_t sp, uint32_t code_paddr);

class ArmArchitecture : public Architecture {
  public:
    static constexpr uint32_t kModeMask = 0x1F;
    static constexpr uint32_t kSystemMode = 0x1F;

    ArmArchitecture(Console** console, MemoryManager** memory);
    void systemInfo() override;

  protected:
    // Copies the second-stage block into a page from the end of the table.
    bool placeSecondStage(const uint8_t* block, size_t size);
    // Takes the stack page, cleans the data cache, enters kernel mode and
    // calls `jump_routine`. False when no stack page was left (the routine was
    // not called); true when the routine was called and came back.
    bool handOver(uint32_t args_paddr, uint32_t list_paddr, JumpRoutine jump_routine);
    // Registers the RAM the machine has (installedBanks) or, when that is not
    // learnt, the variant's four largest possible banks; and the data-cache size.
    bool initBanks(uint32_t first_bank, uint32_t bank_size, uint32_t cache_size);
    // The RAM really installed, lowest bank first; empty when not learnt.
    virtual std::vector<MemoryManager::Bank> installedBanks() = 0;
    // Reads the 32-bit register at physical `paddr` through a mapping of its
    // page; false (the memory manager has said why) when it can't be mapped.
    bool readPhysicalRegister(uint32_t paddr, uint32_t& value);

    ce::BOOL kmode_saved_ = ce::FALSE;
};
