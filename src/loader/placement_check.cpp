#include "loader/placement_check.h"

#include <algorithm>

std::vector<MemoryManager::Stretch> finalRanges(const std::vector<Loader::Destination>& links,
                                                const std::function<uint32_t(uint32_t)>& final_address) {
    std::vector<MemoryManager::Stretch> ranges;
    ranges.reserve(links.size());
    for (const Loader::Destination& link : links) {
        uint64_t moved = final_address(link.start);
        ranges.push_back({moved, moved + (link.end - link.start)});
    }
    return ranges;
}

std::optional<PlacementConflict>
findPlacementConflict(const MemoryManager& memory, const std::vector<Loader::Destination>& destinations,
                      const std::function<uint32_t(uint32_t)>& final_address) {
    if (memory.table() == nullptr)
        return std::nullopt;
    std::vector<MemoryManager::Stretch> ranges =
        MemoryManager::merged(finalRanges(destinations, final_address));
    auto conflictOf = [&](int index) -> std::optional<PlacementConflict> {
        uint64_t page = memory.table()[index].paddr;
        const MemoryManager::Stretch* range =
            MemoryManager::overlapping(ranges, page, page + memory.getPageSize());
        if (range == nullptr)
            return std::nullopt;
        return PlacementConflict{static_cast<uint32_t>(page), static_cast<uint32_t>(range->start),
                                 static_cast<uint32_t>(range->end - 1)};
    };
    // The pages handed out from the front, then those from the end with the
    // stack page the jump takes next; spare pages between them are never read.
    for (int i = 0; i < memory.nextPage(); ++i) {
        if (std::optional<PlacementConflict> conflict = conflictOf(i))
            return conflict;
    }
    for (int i = std::max(memory.nextPage(), memory.mappedCount() - 1); i < memory.tableCount(); ++i) {
        if (std::optional<PlacementConflict> conflict = conflictOf(i))
            return conflict;
    }
    return std::nullopt;
}
