// Where a kernel's pieces go, checked before any of it is loaded. The second
// stage trusts every range and the entry address it is handed: a layout that
// can only fault after the jump (an entry outside the kernel, pieces written
// over one another, addresses the machine's second stage was not made for)
// is refused while the boot can still say why.
#pragma once

#include "memory/memory_manager.h"

#include <cstdint>
#include <functional>
#include <vector>

class Console;

// How the machine's second stage places what the page list holds.
struct KernelPlacement {
    // Where a range that starts at `address` goes; it is written on linearly from there.
    std::function<uint32_t(uint32_t)> final_address;
    // The addresses a kernel's ranges may have, as the page list names them;
    // empty: any the memory banks hold.
    std::vector<MemoryManager::Stretch> windows;
};

// One range the page list will store to, as the loader names it, in whole words.
struct KernelPiece {
    enum Kind { kSegment, kSymbolBlock, kImage };
    Kind kind;
    uint32_t index; // the program header's, for a segment
    uint32_t start;
    uint64_t end;
};

// True when every piece lies in the placement's windows, no two pieces go to
// the same memory, and `entry` is word-aligned and goes into a segment. Otherwise false, with the
// first fault found printed on `console`.
bool checkKernelLayout(Console* const* console, const std::vector<KernelPiece>& pieces, uint32_t entry,
                       const KernelPlacement& placement);
