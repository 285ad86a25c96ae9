#include "loader/loader.h"

#include "console/console.h"
#include "file/file_manager.h"
#include "loader/elf_format.h"
#include "memory/load_steps.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace {

constexpr uint32_t kImageAlignment = 4096;

// The second stage copies whole words, so the bytes between the end of a
// chunk and the next word boundary reach the destination too: they must be
// zeros, never whatever the page held before.
void clearWordTail(uint8_t* data, uint32_t size) {
    std::memset(data + size, 0, elf::round4(size) - size);
}

// The range a link of `size` bytes at `start` stores to: the second stage
// stores whole words, from the word holding the first byte to the word
// holding the last.
Loader::Destination linkRange(uint32_t start, uint32_t size, bool zero_fill) {
    return {start & ~3u, elf::round4(uint64_t{start} + size), zero_fill};
}

// Adds `range` to `ranges`, joined to the last one when it continues it.
void appendRange(std::vector<Loader::Destination>& ranges, const Loader::Destination& range) {
    if (!ranges.empty() && ranges.back().end == range.start && ranges.back().zero_fill == range.zero_fill &&
        ranges.back().undecided == range.undecided) {
        ranges.back().end = range.end;
        return;
    }
    ranges.push_back(range);
}

// The part of a segment the list clears, after its file bytes; false when none.
// The zero-clear stores whole words: a range starting inside a word would
// store over the word holding the segment's last bytes. The copy already put
// zeros up to the word boundary, so clearing starts there.
bool zeroPart(uint32_t destination, uint32_t memory_size, uint32_t file_size, uint32_t& start,
              uint32_t& size) {
    if (file_size >= memory_size)
        return false;
    uint32_t clear_start = destination + file_size;
    uint32_t skip = file_size != 0 ? elf::round4(clear_start) - clear_start : 0;
    uint32_t clear_size = memory_size - file_size;
    if (clear_size <= skip)
        return false;
    start = clear_start + skip;
    size = clear_size - skip;
    return true;
}

} // namespace

Loader::Loader(Console** console, MemoryManager** memory) : console_(console), memory_(memory) {}

bool Loader::setFile(FileManager* file) {
    file_ = file;
    return true;
}

int Loader::probeFileType(FileManager& file) {
    uint8_t header[elf::ehdr::kSize] = {};
    uint32_t count = file.read(header, sizeof header, 0);
    if (count == FileManager::kReadFailed)
        return kUnreadable;
    if (count < sizeof elf::kMagic || count > sizeof header)
        return kUnknown;
    return elf::hasMagic(header) ? kElf : kUnknown;
}

void Loader::forgetPageList() {
    load_error_ = 0;
    load_links_ = 0;
    zero_links_ = 0;
    current_link_ = previous_link_ = spare_link_ = head_link_ = nullptr;
    spare_links_left_ = 0;
    list_head_ = PageLink::kEnd;
    destinations_.clear();
    pack_page_ = {};
    pages_ran_out_ = false;
    short_reads_.clear();
}

void Loader::initPageList() {
    forgetPageList();
    MemoryManager* memory = *memory_;
    chunk_size_ = memory->getTaggedPageSize();
    packer_ = PiecePacker(chunk_size_);
    MemoryManager::TaggedPage page;
    if (!memory->getTaggedPage(page)) {
        load_error_ = 1;
        pages_ran_out_ = true;
        return;
    }
    list_head_ = page.link_paddr;
    head_link_ = current_link_ = previous_link_ = reinterpret_cast<PageLink*>(page.link_vaddr);
    spare_link_ = reinterpret_cast<PageLink*>(page.data_vaddr);
    spare_link_paddr_ = page.data_paddr;
    spare_links_left_ = static_cast<int32_t>(chunk_size_ / sizeof(PageLink));
}

void Loader::beginSubChain() {
    if (current_link_ == nullptr)
        return;
    current_link_ = &sub_chain_start_;
    previous_link_ = nullptr;
}

Loader::SubChain Loader::endSubChain() {
    SubChain chain;
    if (current_link_ == nullptr || previous_link_ == nullptr)
        return chain;
    chain.empty = false;
    chain.first = sub_chain_start_;
    chain.last = previous_link_ == &sub_chain_start_ ? nullptr : previous_link_;
    chain.after = current_link_;
    return chain;
}

void Loader::restartChain() {
    current_link_ = previous_link_ = head_link_;
}

void Loader::appendSubChain(const SubChain& chain) {
    if (chain.empty || current_link_ == nullptr)
        return;
    *current_link_ = chain.first;
    previous_link_ = chain.last != nullptr ? chain.last : current_link_;
    current_link_ = chain.after;
}

bool Loader::takeDataPage(MemoryManager::TaggedPage& page) {
    // After the first shortage every further page would fail the same way.
    if (load_error_ != 0 || current_link_ == nullptr)
        return false;
    if (!(*memory_)->getTaggedPage(page)) {
        load_error_ = 1;
        pages_ran_out_ = true;
        return false;
    }
    return true;
}

void Loader::linkChunk(const MemoryManager::TaggedPage& page, uint32_t destination, uint32_t size) {
    current_link_->next = page.link_paddr;
    current_link_->src = page.data_paddr;
    current_link_->dst = destination;
    current_link_->len = size;
    recordDestination(destination, size, false);
    previous_link_ = current_link_;
    current_link_ = reinterpret_cast<PageLink*>(page.link_vaddr);
    ++load_links_;
}

void Loader::recordDestination(uint32_t start, uint32_t size, bool zero_fill) {
    appendRange(destinations_, linkRange(start, size, zero_fill));
}

uint8_t* Loader::placeFor(uint32_t destination, uint32_t size, bool in_place) {
    if (in_place)
        return (*memory_)->inPlace(destination);
    MemoryManager::TaggedPage page;
    if (!takeDataPage(page))
        return nullptr;
    linkChunk(page, destination, size);
    return page.data_vaddr;
}

uint8_t* Loader::placePacked(bool new_page, uint32_t at, uint32_t destination, uint32_t size) {
    if (new_page && !takeDataPage(pack_page_))
        pack_page_ = {};
    if (pack_page_.data_vaddr == nullptr)
        return nullptr;
    // The part's slot is the one the list goes on with; its bytes follow it.
    MemoryManager::TaggedPage part = {pack_page_.data_vaddr + at + PiecePacker::kSlot,
                                      pack_page_.data_paddr + at + PiecePacker::kSlot,
                                      pack_page_.data_vaddr + at, pack_page_.data_paddr + at};
    std::memset(part.link_vaddr, 0, PiecePacker::kSlot);
    linkChunk(part, destination, size);
    return part.data_vaddr;
}

template <typename Each>
void Loader::forEachPiece(uint32_t destination, uint32_t size, Each each) {
    MemoryManager* memory = *memory_;
    auto put = [&](uint32_t offset, uint32_t length, uint8_t* data) {
        if (data == nullptr)
            return;
        each(offset, length, data);
        clearWordTail(data, length);
    };
    forEachLoadStep(
        destination, size, chunk_size_, memory->getPageSize(),
        [memory](uint64_t frame) { return memory->inPlace(static_cast<uint32_t>(frame)) != nullptr; },
        [&](uint64_t offset64, uint64_t length64, LoadStep step) {
            uint32_t offset = static_cast<uint32_t>(offset64);
            uint32_t length = static_cast<uint32_t>(length64);
            if (step != LoadStep::Packed) {
                put(offset, length, placeFor(destination + offset, length, step == LoadStep::InPlace));
                return;
            }
            packer_.pack(length, [&](bool new_page, uint32_t at, uint32_t part_offset, uint32_t part_size) {
                uint32_t part = offset + part_offset;
                put(part, part_size, placePacked(new_page, at, destination + part, part_size));
            });
        });
}

uint32_t Loader::readFile(void* data, uint32_t size, uint32_t offset) {
    return file_->read(data, size, offset);
}

bool Loader::readChunk(uint8_t* data, uint32_t file_offset, uint32_t size) {
    uint32_t count = readFile(data, size, file_offset);
    if (count == size)
        return true;
    // A failed read (the gzip layer reports all ones) counts as nothing read.
    uint32_t got = count < size ? count : 0;
    std::memset(data + got, 0, size - got);
    if (!placing_ahead_ || !short_reads_.push_back({file_offset, got, size}))
        print(u"short read at offset 0x%x: 0x%x of 0x%x bytes.\n", file_offset, got, size);
    load_error_ = 1;
    return false;
}

void Loader::addZeroClear(uint32_t destination, uint32_t size) {
    if (current_link_ == nullptr)
        return;
    if (spare_links_left_ == 0) {
        print(u"no spare link left for zero clear.\n");
        load_error_ = 1;
        return;
    }
    current_link_->next = spare_link_paddr_;
    current_link_->src = PageLink::kZeroClear;
    current_link_->dst = destination;
    current_link_->len = size;
    recordDestination(destination, size, true);
    if (!placing_ahead_)
        print(u"\t->zero 0x%08x+0x%08x=0x%08x\n", destination, size, destination + size);
    previous_link_ = current_link_;
    current_link_ = spare_link_;
    ++spare_link_;
    spare_link_paddr_ += sizeof(PageLink);
    --spare_links_left_;
    ++zero_links_;
}

void Loader::printLoad(uint32_t destination, uint32_t memory_size, uint32_t file_offset, uint32_t file_size) {
    print(u"\t->load 0x%08x+0x%08x=0x%08x ofs=0x%08x+0x%x\n", destination, memory_size,
          destination + memory_size, file_offset, file_size);
}

void Loader::printZero(uint32_t destination, uint32_t memory_size, uint32_t file_size) {
    uint32_t clear_start = 0;
    uint32_t clear_size = 0;
    if (zeroPart(destination, memory_size, file_size, clear_start, clear_size))
        print(u"\t->zero 0x%08x+0x%08x=0x%08x\n", clear_start, clear_size, clear_start + clear_size);
}

void Loader::placeSegment(uint32_t destination, uint32_t memory_size, uint32_t file_offset,
                          uint32_t file_size) {
    kernel_end_ = destination + memory_size;
    if (current_link_ == nullptr) {
        load_error_ = 1;
        return;
    }
    forEachPiece(destination, file_size, [&](uint32_t offset, uint32_t size, uint8_t* data) {
        readChunk(data, file_offset + offset, size);
    });
    uint32_t clear_start = 0;
    uint32_t clear_size = 0;
    if (zeroPart(destination, memory_size, file_size, clear_start, clear_size))
        addZeroClear(clear_start, clear_size);
}

void Loader::loadSegment(uint32_t destination, uint32_t memory_size, uint32_t file_offset,
                         uint32_t file_size) {
    printLoad(destination, memory_size, file_offset, file_size);
    placeSegment(destination, memory_size, file_offset, file_size);
}

void Loader::reportSegment(uint32_t destination, uint32_t memory_size, uint32_t file_offset,
                           uint32_t file_size) {
    printLoad(destination, memory_size, file_offset, file_size);
    kernel_end_ = destination + memory_size;
    for (const ShortRead& missing : short_reads_) {
        if (missing.offset >= file_offset && missing.offset - file_offset < file_size)
            print(u"short read at offset 0x%x: 0x%x of 0x%x bytes.\n", missing.offset, missing.got,
                  missing.size);
    }
    printZero(destination, memory_size, file_size);
}

void Loader::loadMemory(uint32_t destination, uint32_t size, const uint8_t* source) {
    print(u"\t->load 0x%08x+0x%08x=0x%08x\n", destination, size, destination + size);
    if (current_link_ == nullptr)
        load_error_ = 1;
    forEachPiece(destination, size, [source](uint32_t offset, uint32_t chunk, uint8_t* data) {
        std::memcpy(data, source + offset, chunk);
    });
    kernel_end_ = destination + size;
}

uint64_t Loader::imageDestination(uint32_t kernel_end) {
    return (uint64_t{kernel_end} + kImageAlignment - 1) & ~uint64_t{kImageAlignment - 1};
}

bool Loader::loadExtraData() {
    uint32_t size = file_->claimedSize();
    // A damaged or unreadable image has no size to load.
    if (size == FileManager::kReadFailed)
        return false;
    uint64_t destination = imageDestination(kernel_end_);
    print(u"[file system image]\n");
    if (destination + size > 0x100000000ull) {
        print(u"file system image (0x%x bytes) does not fit above 0x%08x.\n", size, kernel_end_);
        return false;
    }
    loadSegment(static_cast<uint32_t>(destination), size, 0, size);
    // Read to its end and checked (a gzipped image's CRC and length) before anything runs.
    if (loadSucceeded() && file_->realsize() == FileManager::kReadFailed)
        load_error_ = 1;
    return loadSucceeded();
}

void Loader::planSegment(Plan& plan, uint32_t destination, uint32_t memory_size, uint32_t file_size) const {
    plan.end = destination + memory_size;
    if (file_size != 0)
        appendRange(plan.ranges, linkRange(destination, file_size, false));
    uint32_t clear_start = 0;
    uint32_t clear_size = 0;
    if (zeroPart(destination, memory_size, file_size, clear_start, clear_size))
        appendRange(plan.ranges, linkRange(clear_start, clear_size, true));
}

std::vector<Loader::Destination> Loader::plannedDestinations(uint32_t image_size) const {
    Plan plan;
    planKernel(plan);
    // Without the kernel's ranges the image's place is not known either.
    if (plan.ranges.empty())
        return {};
    // An image that does not fit below 4 GB is refused when it is loaded.
    uint64_t image = imageDestination(plan.end);
    if (image_size != 0 && image + image_size <= 0x100000000ull)
        planSegment(plan, static_cast<uint32_t>(image), image_size, image_size);
    return plan.ranges;
}

void Loader::endPageList() {
    if (previous_link_ != nullptr)
        previous_link_->next = PageLink::kEnd;
    print(u"load link %d, zero clear link %d\n", load_links_, zero_links_);
}

void Loader::print(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    slotVprint(console_, format, args);
    va_end(args);
}
