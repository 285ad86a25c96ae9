#include "sim/process_memory.h"

#include "platform/wince_types.h"
#include "sim/handheld.h"
#include "sim/page_runs.h"
#include "sim/physical_memory.h"

#include <cstring>
#include <sys/mman.h>

namespace sim {

namespace {

constexpr uint64_t kHugePage = 2 * 1024 * 1024;

uintptr_t truncPage(uintptr_t address) {
    return address & ~uintptr_t{ProcessMemory::kPageSize - 1};
}
uint64_t roundPage(uint64_t n) {
    return (n + ProcessMemory::kPageSize - 1) & ~uint64_t{ProcessMemory::kPageSize - 1};
}

// Host protection for a Windows CE one; -1 for a value the kernel refuses.
int hostProtection(uint32_t protection) {
    switch (protection & ~(ce::PAGE_NOCACHE | ce::PAGE_PHYSICAL)) {
    case ce::PAGE_NOACCESS:
        return PROT_NONE;
    case ce::PAGE_READONLY:
    case 0x10: // PAGE_EXECUTE
    case 0x20: // PAGE_EXECUTE_READ
        return PROT_READ;
    case ce::PAGE_READWRITE:
    case 0x40: // PAGE_EXECUTE_READWRITE
        return PROT_READ | PROT_WRITE;
    default:
        return -1;
    }
}

} // namespace

ProcessMemory& ProcessMemory::get() {
    static ProcessMemory memory;
    return memory;
}

ProcessMemory::Region* ProcessMemory::regionAt(uintptr_t address) {
    auto it = regions_.upper_bound(address);
    if (it == regions_.begin())
        return nullptr;
    --it;
    return address - it->second.base < it->second.size ? &it->second : nullptr;
}

const ProcessMemory::Region* ProcessMemory::regionAt(uintptr_t address) const {
    return const_cast<ProcessMemory*>(this)->regionAt(address);
}

bool ProcessMemory::findSpan(uintptr_t address, uint64_t size, Span& span) {
    if (size == 0)
        return false;
    uintptr_t start = truncPage(address);
    uint64_t end = roundPage(uint64_t{address} + size);
    Region* region = regionAt(start);
    if (region == nullptr || end > uint64_t{region->base} + region->size)
        return false;
    span = {region, static_cast<uint32_t>((start - region->base) / kPageSize),
            static_cast<uint32_t>((end - start) / kPageSize)};
    return true;
}

ProcessMemory::Region* ProcessMemory::reserve(uintptr_t address, uint32_t size, uint32_t* error) {
    uint64_t bytes = roundPage(size);
    void* host;
    if (address != 0) {
        host = mmap(reinterpret_cast<void*>(address), bytes, PROT_NONE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
        if (host != MAP_FAILED && host != reinterpret_cast<void*>(address)) {
            munmap(host, bytes);
            host = MAP_FAILED;
        }
    } else {
        // Regions start on the 64 KB allocation granularity, as on the device;
        // large ones on the host's huge-page size, so that their private
        // memory can come in huge pages.
        uint64_t alignment = bytes >= kHugePage ? kHugePage : kGranularity;
        void* wide =
            mmap(nullptr, bytes + alignment, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        host = wide;
        if (wide != MAP_FAILED) {
            uintptr_t low = reinterpret_cast<uintptr_t>(wide);
            uintptr_t aligned = (low + alignment - 1) & ~uintptr_t{alignment - 1};
            if (aligned > low)
                munmap(wide, aligned - low);
            uintptr_t tail = aligned + bytes;
            if (low + bytes + alignment > tail)
                munmap(reinterpret_cast<void*>(tail), low + bytes + alignment - tail);
            host = reinterpret_cast<void*>(aligned);
            if (bytes >= kHugePage)
                madvise(host, bytes, MADV_HUGEPAGE);
        }
    }
    if (host == MAP_FAILED) {
        *error = address != 0 ? ce::ERROR_INVALID_PARAMETER : ce::ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    uintptr_t base = reinterpret_cast<uintptr_t>(host);
    Region& region = regions_[base];
    region.base = base;
    region.size = static_cast<uint32_t>(bytes);
    region.pages.assign(bytes / kPageSize, PageState{});
    return &region;
}

void ProcessMemory::releaseRegion(Region& region) {
    prefault_.finish();
    // Unmapped first, the frames have no other mapping to be taken out of.
    munmap(reinterpret_cast<void*>(region.base), region.size);
    forgetPages(region, 0, static_cast<uint32_t>(region.pages.size()));
    regions_.erase(region.base);
}

void ProcessMemory::forgetPages(Region& region, uint32_t first, uint32_t count) {
    PhysicalMemory& ram = PhysicalMemory::get();
    std::vector<uint32_t> frames;
    for (uint32_t i = first; i < first + count; ++i) {
        PageState& page = region.pages[i];
        if (page.kind == PageKind::Committed)
            frames.push_back(page.paddr);
        else if (page.kind == PageKind::Mapped && !page.device)
            ram.dropMapping(page.paddr);
        page = PageState{};
    }
    ram.releaseFrames(std::move(frames));
}

bool ProcessMemory::mapShared(uintptr_t vaddr, uint32_t size, int protection, uint32_t paddr) {
    PhysicalMemory& ram = PhysicalMemory::get();
    void* host = mmap(reinterpret_cast<void*>(vaddr), size, protection, MAP_SHARED | MAP_FIXED,
                      ram.memoryFile(), static_cast<off_t>(ram.fileOffset(paddr)));
    return host != MAP_FAILED;
}

void ProcessMemory::mapNothing(uintptr_t vaddr, uint32_t size) {
    mmap(reinterpret_cast<void*>(vaddr), size, PROT_NONE,
         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0);
}

bool ProcessMemory::commit(const Span& span, int protection, uint32_t* error) {
    std::vector<uint32_t> reserved;
    for (uint32_t i = span.first; i < span.first + span.count; ++i) {
        PageKind kind = span.region->pages[i].kind;
        if (kind == PageKind::Mapped) {
            *error = ce::ERROR_INVALID_PARAMETER;
            return false;
        }
        if (kind == PageKind::Reserved)
            reserved.push_back(i);
    }
    PhysicalMemory& ram = PhysicalMemory::get();
    std::vector<uint32_t> frames;
    if (!ram.allocateFrames(static_cast<uint32_t>(reserved.size()), frames)) {
        *error = ce::ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    // Reserved pages are untouched private memory: opening them up gives
    // each committed page its zeroed bytes.
    auto vaddrOf = [&](size_t k) { return span.region->base + uintptr_t{reserved[k]} * kPageSize; };
    size_t opened = 0;
    bool all_opened = forEachRun(
        reserved.size(), [&](size_t k) { return reserved[k] == reserved[k - 1] + 1; },
        [&](size_t first, size_t count) {
            if (mprotect(reinterpret_cast<void*>(vaddrOf(first)), count * kPageSize, protection) != 0)
                return false;
            opened = first + count;
            return true;
        });
    if (!all_opened) {
        // Out of host mappings: this call's pages go back to reserved.
        for (size_t k = 0; k < opened; ++k)
            mapNothing(vaddrOf(k), kPageSize);
        ram.releaseFrames(std::move(frames));
        *error = ce::ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    bool shared = true;
    for (size_t k = 0; k < reserved.size(); ++k) {
        span.region->pages[reserved[k]] = {PageKind::Committed, false, frames[k], 0,
                                           static_cast<int8_t>(protection)};
        ram.setPrivateBytes(frames[k], reinterpret_cast<uint8_t*>(vaddrOf(k)));
        if (ram.mappedElsewhere(frames[k]))
            shared = sharePages(*span.region, reserved[k], 1) && shared;
    }
    if (!shared) {
        // A page that a physical mapping shows could not join it: the commit fails whole.
        for (uint32_t page : reserved)
            decommit({span.region, page, 1});
        *error = ce::ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    if (reserved.size() * kPageSize >= kHugePage && (protection & PROT_WRITE) != 0 &&
        reserved.back() - reserved.front() + 1 == reserved.size())
        prefault_.start(reinterpret_cast<void*>(vaddrOf(0)), reserved.size() * kPageSize);
    return true;
}

void ProcessMemory::decommit(const Span& span) {
    if (span.count == 0)
        return;
    prefault_.finish();
    mapNothing(span.region->base + uintptr_t{span.first} * kPageSize, span.count * kPageSize);
    forgetPages(*span.region, span.first, span.count);
}

bool ProcessMemory::copyIntoFile(uintptr_t vaddr, uint32_t paddr, size_t pages) {
    // Pages never touched are zeros: a hole in the file.
    std::vector<unsigned char> resident(pages);
    if (mincore(reinterpret_cast<void*>(vaddr), pages * kPageSize, resident.data()) != 0)
        return false;
    PhysicalMemory& ram = PhysicalMemory::get();
    return forEachRun(
        pages, [&](size_t k) { return (resident[k] & 1) == (resident[k - 1] & 1); },
        [&](size_t run, size_t run_pages) {
            uint32_t run_paddr = paddr + static_cast<uint32_t>(run * kPageSize);
            if (resident[run] & 1)
                std::memcpy(ram.fileBytes(run_paddr), reinterpret_cast<const void*>(vaddr + run * kPageSize),
                            run_pages * kPageSize);
            else
                ram.zeroFileFrames(run_paddr, static_cast<uint32_t>(run_pages));
            return true;
        });
}

bool ProcessMemory::sharePages(Region& region, uint32_t first, uint32_t count) {
    prefault_.finish();
    PhysicalMemory& ram = PhysicalMemory::get();
    auto isPrivate = [&ram](const PageState& page) {
        return page.kind == PageKind::Committed && ram.privateBytes(page.paddr) != nullptr;
    };
    auto follows = [&](size_t k) {
        const PageState& page = region.pages[first + k];
        const PageState& before = region.pages[first + k - 1];
        return isPrivate(page) == isPrivate(before) && page.paddr == before.paddr + kPageSize &&
               page.protection == before.protection;
    };
    return forEachRun(count, follows, [&](size_t start, size_t pages) {
        PageState& head = region.pages[first + start];
        if (!isPrivate(head))
            return true;
        uintptr_t vaddr = region.base + uintptr_t{first + start} * kPageSize;
        uint32_t bytes = static_cast<uint32_t>(pages * kPageSize);
        // The bytes go into the file before the pages leave private memory.
        if (((head.protection & PROT_READ) == 0 &&
             mprotect(reinterpret_cast<void*>(vaddr), bytes, PROT_READ) != 0) ||
            !copyIntoFile(vaddr, head.paddr, pages))
            return false;
        if (!mapShared(vaddr, bytes, head.protection, head.paddr))
            return false;
        for (size_t k = start; k < start + pages; ++k)
            ram.setPrivateBytes(region.pages[first + k].paddr, nullptr);
        return true;
    });
}

bool ProcessMemory::shareFrame(uint32_t paddr) {
    uint8_t* bytes = PhysicalMemory::get().privateBytes(paddr);
    if (bytes == nullptr)
        return true;
    uintptr_t at = reinterpret_cast<uintptr_t>(bytes);
    Region* region = regionAt(at);
    return region != nullptr &&
           sharePages(*region, static_cast<uint32_t>((at - region->base) / kPageSize), 1);
}

void ProcessMemory::shareAllPages() {
    for (auto& [base, region] : regions_)
        sharePages(region, 0, static_cast<uint32_t>(region.pages.size()));
}

void* ProcessMemory::allocate(void* address, uint32_t size, uint32_t type, uint32_t protection,
                              uint32_t* error) {
    int host_protection = hostProtection(protection);
    bool reserving = (type & ce::MEM_RESERVE) != 0 || address == nullptr;
    bool committing = (type & ce::MEM_COMMIT) != 0;
    if (size == 0 || host_protection < 0 || (type & ~(ce::MEM_RESERVE | ce::MEM_COMMIT)) != 0 ||
        (type & (ce::MEM_RESERVE | ce::MEM_COMMIT)) == 0) {
        *error = ce::ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    uintptr_t at = reinterpret_cast<uintptr_t>(address);
    if (reserving) {
        uintptr_t base = at & ~uintptr_t{kGranularity - 1};
        uint64_t bytes = roundPage(uint64_t{at - base} + size);
        if (bytes > 0xFFFFFFFFu) {
            *error = ce::ERROR_NOT_ENOUGH_MEMORY;
            return nullptr;
        }
        Region* region = reserve(base, static_cast<uint32_t>(bytes), error);
        if (region == nullptr)
            return nullptr;
        if (committing) {
            Span span{region, 0, static_cast<uint32_t>(region->pages.size())};
            if (!commit(span, host_protection, error)) {
                releaseRegion(*region);
                return nullptr;
            }
        }
        return reinterpret_cast<void*>(region->base);
    }
    Span span;
    if (!findSpan(at, size, span)) {
        *error = ce::ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (!commit(span, host_protection, error))
        return nullptr;
    return reinterpret_cast<void*>(truncPage(at));
}

bool ProcessMemory::free(void* address, uint32_t size, uint32_t type, uint32_t* error) {
    uintptr_t at = reinterpret_cast<uintptr_t>(address);
    if (type == ce::MEM_RELEASE) {
        auto it = regions_.find(at);
        if (it == regions_.end() || size != 0) {
            *error = ce::ERROR_INVALID_PARAMETER;
            return false;
        }
        releaseRegion(it->second);
        return true;
    }
    if (type == ce::MEM_DECOMMIT) {
        Span span;
        auto it = regions_.find(at);
        if (size == 0 && it != regions_.end())
            span = {&it->second, 0, static_cast<uint32_t>(it->second.pages.size())};
        else if (!findSpan(at, size, span)) {
            *error = ce::ERROR_INVALID_PARAMETER;
            return false;
        }
        decommit(span);
        return true;
    }
    *error = ce::ERROR_INVALID_PARAMETER;
    return false;
}

bool ProcessMemory::copy(void* destination, void* source, uint32_t size, uint32_t protection,
                         uint32_t* error) {
    *error = ce::ERROR_INVALID_PARAMETER;
    uintptr_t to = reinterpret_cast<uintptr_t>(destination);
    int host_protection = hostProtection(protection);
    Span span;
    if (host_protection < 0 || to != truncPage(to) || !findSpan(to, size, span))
        return false;
    for (uint32_t i = span.first; i < span.first + span.count; ++i) {
        if (span.region->pages[i].kind != PageKind::Reserved)
            return false;
    }
    uint32_t bytes = span.count * kPageSize;

    // The physical address of every destination page, and whether it is RAM.
    std::vector<PageState> sources(span.count);
    PhysicalMemory& ram = PhysicalMemory::get();
    if ((protection & ce::PAGE_PHYSICAL) != 0) {
        uint64_t paddr = uint64_t{reinterpret_cast<uintptr_t>(source)} << 8;
        if (paddr % kPageSize != 0 || paddr + bytes > 0x100000000ull)
            return false;
        uint32_t start = static_cast<uint32_t>(paddr);
        bool in_ram = ram.contains(start, bytes);
        bool touches_ram = start < uint64_t{ram.base()} + ram.size() && ram.base() < paddr + bytes;
        if ((!in_ram && touches_ram) || !ram.isPresent(start, bytes))
            return false;
        for (uint32_t i = 0; i < span.count; ++i) {
            sources[i] = {PageKind::Mapped, !in_ram, start + i * kPageSize, 0};
            // A frame seen at a second address must have its bytes in one place.
            if (in_ram && !shareFrame(sources[i].paddr))
                return false;
        }
    } else {
        // A virtual source: the pages behind it are mapped a second time.
        uintptr_t from = reinterpret_cast<uintptr_t>(source);
        if (from != truncPage(from))
            return false;
        for (uint32_t i = 0; i < span.count; ++i) {
            const Region* region = regionAt(from + uintptr_t{i} * kPageSize);
            if (region == nullptr)
                return false;
            const PageState& page =
                region->pages[(from + uintptr_t{i} * kPageSize - region->base) / kPageSize];
            if (page.kind == PageKind::Reserved || (!page.device && !shareFrame(page.paddr)))
                return false;
            sources[i] = {PageKind::Mapped, page.device, page.paddr, 0};
        }
    }

    auto follows = [&](size_t i) {
        return sources[i].device == sources[i - 1].device &&
               sources[i].paddr == sources[i - 1].paddr + kPageSize;
    };
    bool all_mapped = forEachRun(span.count, follows, [&](size_t first, size_t count) {
        uintptr_t vaddr = span.region->base + uintptr_t{span.first + first} * kPageSize;
        // Device pages stay inaccessible: registers are reached through the register accessors.
        if (!sources[first].device && !mapShared(vaddr, static_cast<uint32_t>(count * kPageSize),
                                                 host_protection, sources[first].paddr)) {
            decommit({span.region, span.first, static_cast<uint32_t>(first)});
            return false;
        }
        for (size_t i = first; i < first + count; ++i) {
            span.region->pages[span.first + i] = sources[i];
            if (!sources[i].device)
                ram.addMapping(sources[i].paddr);
        }
        return true;
    });
    if (!all_mapped) {
        *error = ce::ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    *error = 0;
    return true;
}

bool ProcessMemory::lockAllowed(uintptr_t page) {
    const MemoryKnobs& knobs = Handheld::get().memory;
    uint32_t number = lock_number_++;
    const void* pointer = reinterpret_cast<const void*>(page);
    if (knobs.lock_fail_at && *knobs.lock_fail_at == number)
        return false;
    if (knobs.lock_fail_page != nullptr &&
        truncPage(reinterpret_cast<uintptr_t>(knobs.lock_fail_page)) == page)
        return false;
    return !knobs.lock_fails || !knobs.lock_fails(pointer, number);
}

bool ProcessMemory::lockPages(void* address, uint32_t size, uint32_t* frames, uint32_t* error) {
    Span span;
    *error = ce::ERROR_INVALID_PARAMETER;
    if (!findSpan(reinterpret_cast<uintptr_t>(address), size, span))
        return false;
    for (uint32_t i = span.first; i < span.first + span.count; ++i) {
        if (span.region->pages[i].kind == PageKind::Reserved ||
            !lockAllowed(span.region->base + uintptr_t{i} * kPageSize))
            return false;
    }
    uint32_t low_bits = Handheld::get().memory.frame_low_bits;
    for (uint32_t i = 0; i < span.count; ++i) {
        PageState& page = span.region->pages[span.first + i];
        ++page.locks;
        if (frames != nullptr)
            frames[i] = page.paddr | low_bits;
    }
    *error = 0;
    return true;
}

bool ProcessMemory::unlockPages(void* address, uint32_t size, uint32_t* error) {
    Span span;
    *error = ce::ERROR_INVALID_PARAMETER;
    if (Handheld::get().memory.unlock_fails || !findSpan(reinterpret_cast<uintptr_t>(address), size, span))
        return false;
    for (uint32_t i = span.first; i < span.first + span.count; ++i) {
        if (span.region->pages[i].kind == PageKind::Reserved)
            return false;
    }
    for (uint32_t i = span.first; i < span.first + span.count; ++i) {
        if (span.region->pages[i].locks > 0)
            --span.region->pages[i].locks;
    }
    *error = 0;
    return true;
}

void ProcessMemory::forgetAll() {
    prefault_.finish();
    for (auto& [base, region] : regions_)
        munmap(reinterpret_cast<void*>(base), region.size);
    regions_.clear();
    lock_number_ = 0;
}

uint32_t ProcessMemory::regionSize(const void* base) const {
    auto it = regions_.find(reinterpret_cast<uintptr_t>(base));
    return it == regions_.end() ? 0 : it->second.size;
}

uint32_t ProcessMemory::physicalAddress(const volatile void* vaddr) const {
    uintptr_t at = reinterpret_cast<uintptr_t>(vaddr);
    const Region* region = regionAt(at);
    if (region == nullptr)
        return kNoAddress;
    const PageState& page = region->pages[(at - region->base) / kPageSize];
    if (page.kind == PageKind::Reserved)
        return kNoAddress;
    return page.paddr + static_cast<uint32_t>(at % kPageSize);
}

bool ProcessMemory::deviceAddress(const volatile void* vaddr, uint32_t* paddr) const {
    uintptr_t at = reinterpret_cast<uintptr_t>(vaddr);
    const Region* region = regionAt(at);
    if (region == nullptr)
        return false;
    const PageState& page = region->pages[(at - region->base) / kPageSize];
    if (page.kind != PageKind::Mapped || !page.device)
        return false;
    *paddr = page.paddr + static_cast<uint32_t>(at % kPageSize);
    return true;
}

int ProcessMemory::lockCount(const void* vaddr) const {
    uintptr_t at = reinterpret_cast<uintptr_t>(vaddr);
    const Region* region = regionAt(at);
    return region == nullptr ? 0 : static_cast<int>(region->pages[(at - region->base) / kPageSize].locks);
}

} // namespace sim
