// The bytes of a kernel file that no segment takes, kept while the file is
// read in one pass from its start: which of them are the section headers, the
// section names and the symbol tables is only known once the pass has reached
// the section headers near the file's end. They are kept in pages lent by the
// memory manager, and given back once the symbols are loaded.
#pragma once

#include "memory/memory_manager.h"
#include "platform/local_vector.h"

#include <cstdint>

class FileManager;

class RetainedBytes {
  public:
    enum class Kept { All, FileEnded, NoPage };

    RetainedBytes() = default;
    RetainedBytes(const RetainedBytes&) = delete;
    RetainedBytes& operator=(const RetainedBytes&) = delete;

    // Reads [offset, end) of `file` into pages lent by `memory`; stops early
    // where the file ends or refuses to read (FileEnded) or no page is left (NoPage).
    Kept keep(FileManager& file, MemoryManager& memory, uint32_t offset, uint32_t end);
    // Copies [offset, offset + size) into `out` when all of it is kept.
    bool read(void* out, uint32_t size, uint32_t offset) const;
    // Gives the pages back to `memory`, which hands them out again.
    void giveBack(MemoryManager& memory);
    // Forgets the pages (they went back with the whole reservation).
    void forget() { pieces_.clear(); }
    uint64_t bytes() const;

  private:
    struct Piece {
        uint32_t offset;
        uint32_t size;
        MemoryManager::Page page;
    };
    LocalVector<Piece> pieces_; // ascending offsets, none overlapping
};
