// Physical addresses found with the kernel calls LockPages / UnlockPages.
#pragma once

#include "memory/memory_manager.h"
#include "platform/wince.h"

class MemoryManagerLockPages : public MemoryManager {
  public:
    MemoryManagerLockPages(ce::LockPagesProc lock_pages, ce::UnlockPagesProc unlock_pages, Console** console,
                           uint32_t page_size, uint32_t pfn_shift);
    uint32_t searchPage(uint8_t* vaddr) override;

  private:
    ce::LockPagesProc lock_pages_;
    ce::UnlockPagesProc unlock_pages_;
    uint32_t pfn_shift_;
};
