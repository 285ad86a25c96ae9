#include "memory/memory_manager.h"

#include "console/console.h"
#include "platform/wince.h"

#include <bit>
#include <cstdlib>
#include <cstring>

MemoryManager::MemoryManager(Console** console, uint32_t page_size)
    : console_(console), page_size_(page_size),
      page_shift_(static_cast<uint32_t>(std::countr_zero(page_size))) {}

MemoryManager::~MemoryManager() {
    releaseRegion();
}

bool MemoryManager::init() {
    return true;
}

void MemoryManager::print(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    slotVprint(console_, format, args);
    va_end(args);
}

void MemoryManager::addBank(uint32_t address, uint32_t size) {
    if (bank_count_ >= kMaxBanks)
        return;
    banks_[bank_count_] = {address, size};
    print(u"[%d] 0x%08x size 0x%08x\n", bank_count_, address, size);
    ++bank_count_;
}

void MemoryManager::releaseRegion() {
    if (region_ != nullptr)
        ce::VirtualFree(region_, 0, ce::MEM_RELEASE);
    std::free(table_);
    region_ = nullptr;
    table_ = nullptr;
    mapped_count_ = 0;
    table_count_ = 0;
    next_page_ = 0;
}

bool MemoryManager::reservePages(uint32_t size) {
    if (size == 0)
        return false;
    // A second reservation replaces the first instead of leaking it.
    releaseRegion();

    uint64_t pages = (uint64_t{size} + page_size_ - 1) / page_size_;
    table_ = static_cast<TableEntry*>(std::malloc(pages * sizeof(TableEntry)));
    if (table_ == nullptr) {
        print(u"can't allocate memory for translation table.\n");
        return false;
    }
    print(u"address translation table %d pages. (0x%x bytes)\n", static_cast<int>(pages),
          static_cast<uint32_t>(pages * 8));

    uint64_t region_size = (uint64_t{size} + kRegionGranularity - 1) & ~uint64_t{kRegionGranularity - 1};
    if (region_size <= 0xFFFFFFFFu) {
        region_ =
            static_cast<uint8_t*>(ce::VirtualAlloc(nullptr, static_cast<uint32_t>(region_size),
                                                   ce::MEM_COMMIT, ce::PAGE_READWRITE | ce::PAGE_NOCACHE));
    }
    if (region_ == nullptr) {
        print(u"can't allocate memory\n");
        std::free(table_);
        table_ = nullptr;
        return false;
    }

    mapped_count_ = 0;
    for (uint64_t i = 0; i < pages; ++i) {
        uint8_t* vaddr = region_ + i * page_size_;
        uint32_t paddr = searchPage(vaddr);
        if (paddr == kNotFound) {
            print(u"page#%d not found\n", static_cast<int>(i));
            break;
        }
        table_[i] = {vaddr, paddr};
        ++mapped_count_;
    }
    table_count_ = mapped_count_;
    print(u"allocated %d page. mapped %d page.\n", static_cast<int>(pages), mapped_count_);
    return true;
}

bool MemoryManager::getPage(Page& page) {
    if (table_ == nullptr || next_page_ >= mapped_count_) {
        print(u"page insufficient.\n");
        return false;
    }
    page = {table_[next_page_].vaddr, table_[next_page_].paddr};
    ++next_page_;
    return true;
}

bool MemoryManager::getTaggedPage(TaggedPage& page) {
    Page whole;
    if (!getPage(whole))
        return false;
    std::memset(whole.vaddr, 0, kLinkSize);
    page = {whole.vaddr + kLinkSize, whole.paddr + kLinkSize, whole.vaddr, whole.paddr};
    return true;
}

bool MemoryManager::getPageFromEnd(Page& page) {
    if (table_ == nullptr || next_page_ >= mapped_count_)
        return false;
    --mapped_count_;
    page = {table_[mapped_count_].vaddr, table_[mapped_count_].paddr};
    return true;
}

volatile uint8_t* MemoryManager::mapPhysicalPage(uint32_t paddr, uint32_t size, uint32_t protection) {
    uint32_t start = truncPage(paddr);
    uint64_t end = (uint64_t{paddr} + size + page_size_ - 1) & ~uint64_t{page_size_ - 1};
    uint8_t* reserved = nullptr;
    if (end > start && end <= 0x100000000ull)
        reserved = static_cast<uint8_t*>(ce::VirtualAlloc(nullptr, static_cast<uint32_t>(end - start),
                                                          ce::MEM_RESERVE, ce::PAGE_NOACCESS));
    if (reserved == nullptr) {
        print(u"can't map physical address 0x%08x\n", paddr);
        return nullptr;
    }
    void* source = reinterpret_cast<void*>(static_cast<uintptr_t>(start >> 8));
    if (!ce::VirtualCopy(reserved, source, static_cast<uint32_t>(end - start),
                         protection | ce::PAGE_NOCACHE | ce::PAGE_PHYSICAL)) {
        ce::VirtualFree(reserved, 0, ce::MEM_RELEASE);
        print(u"can't map physical address 0x%08x\n", paddr);
        return nullptr;
    }
    return reserved + (paddr - start);
}

void MemoryManager::unmapPhysicalPage(volatile uint8_t* vaddr) {
    uintptr_t page = reinterpret_cast<uintptr_t>(vaddr) & ~uintptr_t{page_size_ - 1};
    if (!ce::VirtualFree(reinterpret_cast<void*>(page), 0, ce::MEM_RELEASE))
        print(u"can't release memory\n");
}

uint32_t MemoryManager::estimateTaggedPageSize(uint32_t n) const {
    uint32_t data = page_size_ - kLinkSize;
    uint64_t bytes = (uint64_t{n} + data - 1) / data * page_size_;
    return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
}
