#include "loader/kernel_layout.h"

#include "console/console.h"
#include "platform/wide_format.h"

#include <algorithm>
#include <cstdarg>

namespace {

void print(Console* const* console, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    slotVprint(console, format, args);
    va_end(args);
}

struct PieceName {
    char16_t text[24];
};

PieceName nameOf(const KernelPiece& piece) {
    PieceName name{};
    switch (piece.kind) {
    case KernelPiece::kSegment:
        wsprintfW(name.text, 24, u"segment %u", piece.index);
        break;
    case KernelPiece::kSymbolBlock:
        wsprintfW(name.text, 24, u"the symbol block");
        break;
    case KernelPiece::kImage:
        wsprintfW(name.text, 24, u"the file system image");
        break;
    }
    return name;
}

// The range the second stage writes a piece to.
MemoryManager::Stretch finalRange(const KernelPiece& piece, const KernelPlacement& placement) {
    uint64_t start = placement.final_address(piece.start);
    return {start, start + (piece.end - piece.start)};
}

bool inWindows(const KernelPiece& piece, const std::vector<MemoryManager::Stretch>& windows) {
    if (windows.empty())
        return true;
    for (const MemoryManager::Stretch& window : windows) {
        if (piece.start >= window.start && piece.end <= window.end)
            return true;
    }
    return false;
}

bool checkWindows(Console* const* console, const std::vector<KernelPiece>& pieces,
                  const std::vector<MemoryManager::Stretch>& windows) {
    for (const KernelPiece& piece : pieces) {
        if (inWindows(piece, windows))
            continue;
        char16_t list[128] = {};
        size_t length = 0;
        for (const MemoryManager::Stretch& window : windows)
            length += wsprintfW(list + length, 128 - length, u"%s0x%08x-0x%08x", length == 0 ? u"" : u", ",
                                static_cast<uint32_t>(window.start), static_cast<uint32_t>(window.end - 1));
        print(console,
              u"%s at 0x%08x-0x%08x lies outside the addresses this machine places a kernel at (%s).\n",
              nameOf(piece).text, piece.start, static_cast<uint32_t>(piece.end - 1), list);
        return false;
    }
    return true;
}

bool checkOverlaps(Console* const* console, const std::vector<KernelPiece>& pieces,
                   const KernelPlacement& placement) {
    for (size_t i = 0; i < pieces.size(); ++i) {
        MemoryManager::Stretch a = finalRange(pieces[i], placement);
        for (size_t j = i + 1; j < pieces.size(); ++j) {
            MemoryManager::Stretch b = finalRange(pieces[j], placement);
            uint64_t first = std::max(a.start, b.start);
            uint64_t end = std::min(a.end, b.end);
            if (first >= end)
                continue;
            print(console, u"%s and %s go to the same memory: 0x%08x-0x%08x.\n", nameOf(pieces[i]).text,
                  nameOf(pieces[j]).text, static_cast<uint32_t>(first), static_cast<uint32_t>(end - 1));
            return false;
        }
    }
    return true;
}

bool checkEntry(Console* const* console, const std::vector<KernelPiece>& pieces, uint32_t entry,
                const KernelPlacement& placement) {
    // The second stage enters the kernel with a plain branch to an ARM instruction.
    if (entry % 4 != 0) {
        print(console, u"kernel entry address 0x%08x is not word-aligned.\n", entry);
        return false;
    }
    uint64_t target = placement.final_address(entry);
    for (const KernelPiece& piece : pieces) {
        MemoryManager::Stretch range = finalRange(piece, placement);
        if (piece.kind == KernelPiece::kSegment && target >= range.start && target < range.end)
            return true;
    }
    if (target != entry)
        print(console,
              u"kernel entry address 0x%08x (0x%08x for this machine) lies outside every loaded segment.\n",
              entry, static_cast<uint32_t>(target));
    else
        print(console, u"kernel entry address 0x%08x lies outside every loaded segment.\n", entry);
    return false;
}

} // namespace

bool checkKernelLayout(Console* const* console, const std::vector<KernelPiece>& pieces, uint32_t entry,
                       const KernelPlacement& placement) {
    return checkWindows(console, pieces, placement.windows) && checkOverlaps(console, pieces, placement) &&
           checkEntry(console, pieces, entry, placement);
}
