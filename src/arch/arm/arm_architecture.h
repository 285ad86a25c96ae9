// What every ARM processor shares: kernel mode, the control-register report,
// data-cache cleaning, placement of the second stage and the hand-over.
#pragma once

#include "arch/architecture.h"

#include <cstddef>
#include <cstdint>

// Bytes that CleanDCache reads; set by the variant's init.
extern uint32_t dcache_size;

class ArmArchitecture : public Architecture {
  public:
    ArmArchitecture(Console** console, MemoryManager** memory);
    void systemInfo() override;

  protected:
    // Copies the second-stage block into a page from the end of the table.
    bool placeSecondStage(const uint8_t* block, size_t size);
    // Takes the stack page, cleans the data cache, enters kernel mode and
    // calls `jump_routine`; returns when no stack page is left or the routine returns.
    void handOver(uint32_t args_paddr, uint32_t list_paddr,
                  void (*jump_routine)(uint32_t args, uint32_t list, uint32_t sp, uint32_t code));

    ce::BOOL kmode_saved_ = ce::FALSE;
};
