// The loader process's virtual memory on the simulated handheld: regions
// reserved in 64 KB steps, pages committed onto RAM frames, and pages mapped
// onto physical ranges by VirtualCopy. Serves VirtualAlloc, VirtualFree,
// VirtualCopy, LockPages and UnlockPages.
#pragma once

#include "sim/prefault.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace sim {

class ProcessMemory {
  public:
    static constexpr uint32_t kPageSize = 4096;
    static constexpr uint32_t kGranularity = 0x10000;
    static constexpr uint32_t kNoAddress = 0xFFFFFFFFu;

    static ProcessMemory& get();

    // The kernel calls; a failure leaves everything as it was and sets *error.
    void* allocate(void* address, uint32_t size, uint32_t type, uint32_t protection, uint32_t* error);
    bool free(void* address, uint32_t size, uint32_t type, uint32_t* error);
    bool copy(void* destination, void* source, uint32_t size, uint32_t protection, uint32_t* error);
    bool lockPages(void* address, uint32_t size, uint32_t* frames, uint32_t* error);
    bool unlockPages(void* address, uint32_t size, uint32_t* error);

    // Unmaps every region without giving frames back: the RAM is being replaced.
    void forgetAll();
    // Moves the bytes of every privately held committed page into the RAM's
    // memory file and maps the page from there.
    void shareAllPages();
    // Waits until the latest large commit has been faulted in.
    void finishPrefault() { prefault_.finish(); }

    size_t regionCount() const { return regions_.size(); }
    // Bytes reserved by the region based at `base`; 0 when no region starts there.
    uint32_t regionSize(const void* base) const;
    // The physical address behind a committed or mapped virtual address, or kNoAddress.
    uint32_t physicalAddress(const volatile void* vaddr) const;
    // True when `vaddr` lies in a mapping of a physical range outside RAM.
    bool deviceAddress(const volatile void* vaddr, uint32_t* paddr) const;
    int lockCount(const void* vaddr) const;

    ProcessMemory(const ProcessMemory&) = delete;
    ProcessMemory& operator=(const ProcessMemory&) = delete;

  private:
    enum class PageKind : uint8_t { Reserved, Committed, Mapped };
    struct PageState {
        PageKind kind = PageKind::Reserved;
        bool device = false;
        uint32_t paddr = kNoAddress;
        uint32_t locks = 0;
        // Host protection of a committed page. Whether its bytes are private
        // or in the RAM's memory file, the frame's PhysicalMemory::privateBytes tells.
        int8_t protection = 0;
    };
    struct Region {
        uintptr_t base;
        uint32_t size;
        std::vector<PageState> pages;
    };
    // A run of pages inside one region.
    struct Span {
        Region* region;
        uint32_t first;
        uint32_t count;
    };

    ProcessMemory() = default;
    Region* regionAt(uintptr_t address);
    const Region* regionAt(uintptr_t address) const;
    bool findSpan(uintptr_t address, uint64_t size, Span& span);
    Region* reserve(uintptr_t address, uint32_t size, uint32_t* error);
    void releaseRegion(Region& region);
    bool commit(const Span& span, int protection, uint32_t* error);
    void decommit(const Span& span);
    // Returns the frames of a span's committed pages and forgets its mappings;
    // the pages' host memory is the caller's to take away.
    void forgetPages(Region& region, uint32_t first, uint32_t count);
    bool mapShared(uintptr_t vaddr, uint32_t size, int protection, uint32_t paddr);
    void mapNothing(uintptr_t vaddr, uint32_t size);
    // Copies `pages` private pages at `vaddr` into the memory file at `paddr`.
    bool copyIntoFile(uintptr_t vaddr, uint32_t paddr, size_t pages);
    // Moves the private bytes of `count` committed pages into the memory file
    // and maps them from there.
    bool sharePages(Region& region, uint32_t first, uint32_t count);
    // Makes the committed page holding frame `paddr` privately a shared one.
    bool shareFrame(uint32_t paddr);
    bool lockAllowed(uintptr_t page);

    std::map<uintptr_t, Region> regions_;
    // Pages of the latest large commit being faulted in; done before any mapping changes.
    Prefault prefault_;
    uint32_t lock_number_ = 0;
};

} // namespace sim
