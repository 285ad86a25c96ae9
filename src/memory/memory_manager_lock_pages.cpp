#include "memory/memory_manager_lock_pages.h"

MemoryManagerLockPages::MemoryManagerLockPages(ce::LockPagesProc lock_pages, ce::UnlockPagesProc unlock_pages,
                                               Console** console, uint32_t page_size, uint32_t pfn_shift)
    : MemoryManager(console, page_size), lock_pages_(lock_pages), unlock_pages_(unlock_pages),
      pfn_shift_(pfn_shift) {
    print(u"MemoryManager: LockPages\n");
}

uint32_t MemoryManagerLockPages::searchPage(uint8_t* vaddr) {
    if (lock_pages_ == nullptr || unlock_pages_ == nullptr || pfn_shift_ > page_shift_)
        return kNotFound;
    ce::DWORD frame = kNotFound;
    if (!lock_pages_(vaddr, page_size_, &frame, 1))
        return kNotFound;
    if (!unlock_pages_(vaddr, page_size_))
        print(u"can't unlock pages\n");
    return (frame >> (page_shift_ - pfn_shift_)) << page_shift_;
}
