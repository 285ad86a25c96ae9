#include "memory/memory_manager.h"

#include "console/console.h"
#include "memory/load_steps.h"
#include "platform/wince.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <utility>

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
    if (quiet_)
        return;
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

std::vector<MemoryManager::Stretch> MemoryManager::bankStretches() const {
    std::vector<Stretch> banks;
    for (int i = 0; i < bank_count_; ++i)
        banks.push_back({banks_[i].address, uint64_t{banks_[i].address} + banks_[i].size});
    return merged(std::move(banks));
}

uint64_t MemoryManager::largestBankRun() const {
    if (bank_count_ == 0)
        return 0x100000000ull;
    uint64_t largest = 0;
    for (const Stretch& stretch : bankStretches())
        largest = std::max(largest, stretch.end - stretch.start);
    return largest;
}

size_t MemoryManager::firstOutsideBanks(const std::vector<Stretch>& ranges) const {
    if (bank_count_ == 0)
        return ranges.size();
    std::vector<Stretch> banks = bankStretches();
    for (size_t i = 0; i < ranges.size(); ++i) {
        bool inside = std::any_of(banks.begin(), banks.end(), [&](const Stretch& bank) {
            return bank.start <= ranges[i].start && ranges[i].end <= bank.end;
        });
        if (!inside)
            return i;
    }
    return ranges.size();
}

void MemoryManager::releaseRegion() {
    for (const Region& region : regions_)
        ce::VirtualFree(region.base, 0, ce::MEM_RELEASE);
    regions_.clear();
    table_.clear();
    in_place_.clear();
    held_back_.clear();
    kept_aside_.clear();
    returned_.clear();
    mapped_count_ = 0;
    table_count_ = 0;
    next_page_ = 0;
    held_back_count_ = 0;
    lent_ = 0;
    batch_ = ~uint64_t{0};
    provisional_ = quiet_ = lost_ = false;
}

std::vector<MemoryManager::Stretch> MemoryManager::merged(std::vector<Stretch> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const Stretch& a, const Stretch& b) { return a.start < b.start; });
    std::vector<Stretch> out;
    for (const Stretch& range : ranges) {
        if (range.end <= range.start)
            continue;
        if (!out.empty() && out.back().end >= range.start)
            out.back().end = std::max(out.back().end, range.end);
        else
            out.push_back(range);
    }
    return out;
}

const MemoryManager::Stretch* MemoryManager::overlapping(const std::vector<Stretch>& sorted, uint64_t start,
                                                         uint64_t end) {
    // The last range that starts before `end`; an earlier one ends before it starts.
    auto after =
        std::lower_bound(sorted.begin(), sorted.end(), end,
                         [](const Stretch& range, uint64_t address) { return range.start < address; });
    if (after == sorted.begin() || std::prev(after)->end <= start)
        return nullptr;
    return &*std::prev(after);
}

void MemoryManager::placeKernel(std::vector<KernelRange> ranges,
                                std::function<uint32_t(uint32_t)> final_address) {
    std::vector<Stretch> loads;
    std::vector<Stretch> zeros;
    std::vector<Stretch> undecided;
    for (const KernelRange& range : ranges)
        (range.undecided ? undecided : range.zero_fill ? zeros : loads).push_back(range.place);
    loads_ = merged(std::move(loads));
    zeros_ = merged(std::move(zeros));
    undecided_ = merged(std::move(undecided));
    // The last range that is not undecided: with undecided ones after it,
    // it may still turn out to be the last.
    last_frame_ = ~uint64_t{0};
    auto last =
        std::find_if(ranges.rbegin(), ranges.rend(), [](const KernelRange& r) { return !r.undecided; });
    if (last != ranges.rend() && !last->zero_fill && last->place.end > last->place.start)
        last_frame_ = (last->place.end - 1) & ~uint64_t{page_size_ - 1};
    kernel_ = std::move(ranges);
    final_address_ = std::move(final_address);
    pages_without_in_place_ = loadPagesNeeded(false);
    // Without room to list the pages again the reservation is lost, with
    // what was put into its pages: the reservation that completes it fails.
    if (provisional() && undecided_.empty() && !settle()) {
        releaseRegion();
        lost_ = true;
    }
}

bool MemoryManager::canCarryInPlace(uint64_t frame) const {
    if (frame == last_frame_)
        return false;
    const uint64_t end = frame + page_size_;
    // The loaded ranges that reach into the frame, from the last one down.
    auto after =
        std::lower_bound(loads_.begin(), loads_.end(), end,
                         [](const Stretch& range, uint64_t address) { return range.start < address; });
    bool loaded = false;
    for (auto it = after; it != loads_.begin() && std::prev(it)->end > frame; --it) {
        const Stretch& load = *std::prev(it);
        loaded = true;
        if (overlapping(zeros_, std::max(load.start, frame), std::min(load.end, end)) != nullptr)
            return false;
    }
    return loaded;
}

MemoryManager::FrameUse MemoryManager::frameUse(uint32_t paddr) const {
    const uint64_t end = uint64_t{paddr} + page_size_;
    if (overlapping(loads_, paddr, end) != nullptr)
        return canCarryInPlace(paddr) ? FrameUse::InPlace : FrameUse::HeldBack;
    if (overlapping(zeros_, paddr, end) != nullptr)
        return FrameUse::HeldBack;
    return overlapping(undecided_, paddr, end) != nullptr ? FrameUse::Undecided : FrameUse::Table;
}

const MemoryManager::TableEntry* MemoryManager::inPlaceEntry(uint64_t frame) const {
    const TableEntry* found =
        std::lower_bound(in_place_.begin(), in_place_.end(), frame,
                         [](const TableEntry& entry, uint64_t address) { return entry.paddr < address; });
    return found != in_place_.end() && found->paddr == frame ? found : nullptr;
}

uint8_t* MemoryManager::inPlace(uint32_t destination) const {
    if (in_place_.empty())
        return nullptr;
    uint32_t final = final_address_ ? final_address_(destination) : destination;
    const TableEntry* entry = inPlaceEntry(final & ~(page_size_ - 1));
    return entry != nullptr ? entry->vaddr + (final & (page_size_ - 1)) : nullptr;
}

uint64_t MemoryManager::loadPagesNeeded(bool with_in_place) const {
    uint64_t pages = 0;
    PiecePacker packer(getTaggedPageSize());
    for (const KernelRange& range : kernel_) {
        if (range.zero_fill || range.undecided)
            continue;
        forEachLoadStep(
            range.place.start, range.place.end - range.place.start, getTaggedPageSize(), page_size_,
            [this, with_in_place](uint64_t frame) { return with_in_place && inPlaceEntry(frame) != nullptr; },
            [&](uint64_t, uint64_t size, LoadStep step) {
                if (step == LoadStep::Chunk)
                    ++pages;
                else if (step == LoadStep::Packed)
                    packer.pack(size,
                                [&pages](bool new_page, uint32_t, uint32_t, uint32_t) { pages += new_page; });
            });
    }
    return pages;
}

uint64_t MemoryManager::bankBytesOutsideClearing() const {
    uint64_t outside = 0;
    for (const Stretch& bank : bankStretches()) {
        uint64_t covered = 0;
        for (const Stretch& range : zeros_) {
            uint64_t start = std::max(range.start, bank.start);
            uint64_t end = std::min(range.end, bank.end);
            if (start < end)
                covered += end - start;
        }
        outside += bank.end - bank.start - covered;
    }
    return outside;
}

bool MemoryManager::reserveSpace(uint64_t pages) {
    uint64_t bytes = roundRegion(pages * page_size_);
    if (bytes > 0xFFFFFFFFu)
        return false;
    auto* base = static_cast<uint8_t*>(
        ce::VirtualAlloc(nullptr, static_cast<uint32_t>(bytes), ce::MEM_RESERVE, ce::PAGE_NOACCESS));
    if (base == nullptr)
        return false;
    if (!regions_.push_back({base, bytes / page_size_, 0})) {
        ce::VirtualFree(base, 0, ce::MEM_RELEASE);
        return false;
    }
    return true;
}

bool MemoryManager::releaseMemory() {
    if (!mayRelease())
        return false;
    released_ = true;
    return release_memory_();
}

bool MemoryManager::enoughFree(uint64_t pages) const {
    // Room beside the pages for the heap's lists of them and Windows CE's thresholds.
    constexpr uint64_t kHeadroom = 256 * 1024;
    ce::MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    ce::GlobalMemoryStatus(&status);
    return status.dwAvailPhys >= pages * page_size_ + kHeadroom;
}

uint8_t* MemoryManager::commitPages(uint64_t* count) {
    for (;;) {
        if ((regions_.empty() || regions_.back().committed == regions_.back().pages) && !reserveSpace(*count))
            return nullptr;
        Region& region = regions_.back();
        uint64_t pages = std::min({*count, region.pages - region.committed, batch_});
        uint8_t* at = region.base + region.committed * page_size_;
        // Windows CE grants less at once as memory runs short (16 KB, then 8 KB).
        if (ce::VirtualAlloc(at, static_cast<uint32_t>(pages * page_size_), ce::MEM_COMMIT,
                             ce::PAGE_READWRITE | ce::PAGE_NOCACHE) != nullptr) {
            region.committed += pages;
            *count = pages;
            return at;
        }
        if (pages > 1) {
            batch_ = pages / 2;
            continue;
        }
        // Not one page: what the program keeps elsewhere may make room.
        if (!releaseMemory())
            return nullptr;
    }
}

bool MemoryManager::sortPage(const TableEntry& page) {
    switch (frameUse(page.paddr)) {
    case FrameUse::Table:
        if (!table_.push_back(page))
            return false;
        ++mapped_count_;
        return true;
    case FrameUse::InPlace:
        return in_place_.push_back(page);
    case FrameUse::HeldBack:
        if (!held_back_.push_back(page))
            return false;
        ++held_back_count_;
        return true;
    case FrameUse::Undecided:
        return kept_aside_.push_back(page);
    }
    return false;
}

MemoryManager::Mapped MemoryManager::mapPages(uint8_t* first, uint64_t count) {
    Mapped result = Mapped::All;
    for (uint64_t i = 0; i < count && result == Mapped::All; ++i) {
        uint8_t* vaddr = first + i * page_size_;
        uint32_t paddr = searchPage(vaddr);
        if (paddr == kNotFound) {
            print(u"page#%d not found\n",
                  mapped_count_ + held_back_count_ + inPlaceCount() + static_cast<int>(kept_aside_.size()));
            result = Mapped::PageNotFound;
        } else if (!sortPage({vaddr, paddr}) && !(releaseMemory() && sortPage({vaddr, paddr}))) {
            print(u"can't allocate memory for translation table.\n");
            result = Mapped::NoRoom;
        }
    }
    std::sort(in_place_.begin(), in_place_.end(),
              [](const TableEntry& a, const TableEntry& b) { return a.paddr < b.paddr; });
    return result;
}

template <typename Wanted>
MemoryManager::Mapped MemoryManager::fill(Wanted wanted) {
    for (uint64_t target = wanted(); static_cast<uint64_t>(mapped_count_) < target; target = wanted()) {
        uint64_t count = target - static_cast<uint64_t>(mapped_count_);
        // What the program keeps for later goes first when the rest is more than memory holds.
        if (mayRelease() && !enoughFree(count))
            releaseMemory();
        uint8_t* pages = commitPages(&count);
        if (pages == nullptr)
            return Mapped::NoMemory;
        Mapped mapped = mapPages(pages, count);
        if (mapped != Mapped::All)
            return mapped;
    }
    return Mapped::All;
}

uint64_t MemoryManager::tableTarget(uint64_t pages) const {
    uint64_t needed = loadPagesNeeded(true);
    uint64_t saved = pages_without_in_place_ - needed + kept_aside_.size();
    uint64_t target = pages - std::min(pages, saved) + static_cast<uint64_t>(lent_);
    // Before the final places the frames kept aside carry nothing yet.
    if (provisional_)
        target = std::max(target, needed + provisional_pages_);
    return target;
}

bool MemoryManager::settle() {
    // Everything not handed out yet is sorted again; what was handed out lies
    // outside the final places, since they lie inside the earlier ones.
    LocalVector<TableEntry> pending;
    if (!pending.reserve(static_cast<uint32_t>(kept_aside_.size() + table_.size() - next_page_)))
        return false;
    for (const TableEntry& page : kept_aside_)
        pending.push_back(page);
    for (uint32_t i = static_cast<uint32_t>(next_page_); i < table_.size(); ++i)
        pending.push_back(table_[i]);
    kept_aside_.clear();
    table_.truncate(static_cast<uint32_t>(next_page_));
    mapped_count_ = next_page_;
    for (const TableEntry& page : pending) {
        if (!sortPage(page))
            return false;
    }
    std::sort(in_place_.begin(), in_place_.end(),
              [](const TableEntry& a, const TableEntry& b) { return a.paddr < b.paddr; });
    return true;
}

void MemoryManager::giveBackHeldBack() {
    for (const TableEntry& page : held_back_)
        ce::VirtualFree(page.vaddr, page_size_, ce::MEM_DECOMMIT);
    held_back_.clear();
}

void MemoryManager::reportReservation(uint64_t pages) {
    table_count_ = mapped_count_;
    print(u"allocated %d page. mapped %d page.\n", static_cast<int>(pages), mapped_count_);
    if (inPlaceCount() > 0)
        print(u"%d pages in place: their frames lie where the kernel goes and carry its bytes.\n",
              inPlaceCount());
    if (held_back_count_ > 0)
        print(u"%d pages held back: their frames lie where the kernel goes.\n", held_back_count_);
}

bool MemoryManager::reservePages(uint32_t size) {
    if (size == 0)
        return false;
    uint64_t pages = (uint64_t{size} + page_size_ - 1) / page_size_;
    if (lost_) {
        print(u"can't allocate memory for translation table.\n");
        return false;
    }
    const bool completing = provisional();
    released_ = false;
    if (!completing) {
        // A second reservation replaces the first instead of leaking it.
        bool quiet = provisional_;
        releaseRegion();
        provisional_ = quiet_ = quiet;
        if (!zeros_.empty() && bank_count_ > 0) {
            uint64_t outside = bankBytesOutsideClearing();
            if (pages * page_size_ > outside) {
                print(u"RAM outside the kernel's destinations (0x%x bytes) can't hold the kernel (0x%x "
                      u"bytes).\n",
                      static_cast<uint32_t>(outside), static_cast<uint32_t>(pages * page_size_));
                releaseRegion();
                return false;
            }
        }
    }
    quiet_ = provisional_ && !completing;
    if (!table_.reserve(static_cast<uint32_t>(std::min<uint64_t>(pages, UINT32_MAX)))) {
        print(u"can't allocate memory for translation table.\n");
        releaseRegion();
        return false;
    }
    print(u"address translation table %d pages. (0x%x bytes)\n", static_cast<int>(pages),
          static_cast<uint32_t>(pages * 8));
    if (!completing && !reserveSpace(pages)) {
        print(u"can't allocate memory\n");
        releaseRegion();
        return false;
    }
    Mapped mapped = fill([&] { return tableTarget(pages); });
    if (mapped == Mapped::NoMemory) {
        // Fewer frames than asked for: program memory ran out. Else the
        // frames held back where the kernel goes left the table short.
        uint64_t committed =
            static_cast<uint64_t>(mapped_count_) + held_back_count_ + in_place_.size() + kept_aside_.size();
        if (committed < pages)
            print(u"can't allocate memory\n");
        else
            print(u"RAM outside the kernel's destinations can't hold the kernel: 0x%x of 0x%x bytes found "
                  u"(0x%x bytes held back).\n",
                  static_cast<uint32_t>(mapped_count_) * page_size_,
                  static_cast<uint32_t>(tableTarget(pages) * page_size_),
                  static_cast<uint32_t>(held_back_count_) * page_size_);
    }
    if (mapped == Mapped::NoMemory || mapped == Mapped::NoRoom) {
        releaseRegion();
        return false;
    }
    if (provisional_ && !completing) {
        table_count_ = mapped_count_;
        return true;
    }
    provisional_ = false;
    reportReservation(pages);
    return true;
}

bool MemoryManager::getPage(Page& page) {
    if (!returned_.empty()) {
        page = returned_.back();
        returned_.pop_back();
        return true;
    }
    if (table_.empty() || next_page_ >= mapped_count_) {
        print(u"page insufficient.\n");
        return false;
    }
    page = {table_[next_page_].vaddr, table_[next_page_].paddr};
    ++next_page_;
    return true;
}

bool MemoryManager::lendPage(Page& page) {
    if (!getPage(page))
        return false;
    ++lent_;
    return true;
}

void MemoryManager::returnPage(const Page& page) {
    if (returned_.push_back(page))
        --lent_;
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
    if (table_.empty() || next_page_ >= mapped_count_)
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
