// Whether the second stage can put the kernel in place without storing over
// the pages it still has to read. Windows CE hands the loader's pages out
// wherever it likes; the memory manager holds back the pages whose frames lie
// where the kernel goes, so this is the final assertion that none of them
// was handed out after all: such a page would be overwritten before (or
// while) it is copied, and the kernel would start on damaged bytes.
#pragma once

#include "loader/loader.h"
#include "memory/memory_manager.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct PlacementConflict {
    uint32_t page;              // physical address of the loader's page
    uint32_t destination_first; // the final range it lies in, first and last byte
    uint32_t destination_last;
};

// The physical ranges `links` store to, each moved as the second stage moves
// it: only a link's start goes through `final_address`, and the link is then
// written on linearly from there.
std::vector<MemoryManager::Stretch> finalRanges(const std::vector<Loader::Destination>& links,
                                                const std::function<uint32_t(uint32_t)>& final_address);

// The first page the second stage reads (the pages handed out from the front
// and from the end of `memory`'s table, and the stack page the jump takes
// next) that lies in a range the list stores to, as `final_address` moves it;
// none when the placement is safe.
std::optional<PlacementConflict>
findPlacementConflict(const MemoryManager& memory, const std::vector<Loader::Destination>& destinations,
                      const std::function<uint32_t(uint32_t)>& final_address);
