#include "loader/retained_bytes.h"

#include "file/file_manager.h"

#include <algorithm>
#include <cstring>

RetainedBytes::Kept RetainedBytes::keep(FileManager& file, MemoryManager& memory, uint32_t offset,
                                        uint32_t end) {
    const uint32_t page_size = memory.getPageSize();
    while (offset < end) {
        MemoryManager::Page page;
        if (!memory.lendPage(page))
            return Kept::NoPage;
        uint32_t wanted = std::min(end - offset, page_size);
        uint32_t got = file.read(page.vaddr, wanted, offset);
        if (got == FileManager::kReadFailed || got == 0 || got > wanted) {
            memory.returnPage(page);
            return Kept::FileEnded;
        }
        if (!pieces_.push_back({offset, got, page})) {
            memory.returnPage(page);
            return Kept::NoPage;
        }
        if (got < wanted)
            return Kept::FileEnded;
        offset += got;
    }
    return Kept::All;
}

bool RetainedBytes::read(void* out, uint32_t size, uint32_t offset) const {
    auto* to = static_cast<uint8_t*>(out);
    // The piece holding `offset`: the last one that starts at or before it.
    const Piece* piece = std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                                          [](uint32_t at, const Piece& p) { return at < p.offset; });
    if (piece == pieces_.begin())
        return size == 0;
    --piece;
    uint64_t at = offset;
    const uint64_t end = uint64_t{offset} + size;
    for (; at < end; ++piece) {
        if (piece == pieces_.end() || piece->offset > at || uint64_t{piece->offset} + piece->size <= at)
            return false;
        uint32_t from = static_cast<uint32_t>(at - piece->offset);
        uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(end - at, piece->size - from));
        std::memcpy(to + (at - offset), piece->page.vaddr + from, count);
        at += count;
    }
    return true;
}

void RetainedBytes::giveBack(MemoryManager& memory) {
    for (const Piece& piece : pieces_)
        memory.returnPage(piece.page);
    pieces_.clear();
}

uint64_t RetainedBytes::bytes() const {
    uint64_t total = 0;
    for (const Piece& piece : pieces_)
        total += piece.size;
    return total;
}
