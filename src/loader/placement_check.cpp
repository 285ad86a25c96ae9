#include "loader/placement_check.h"

#include <algorithm>

namespace {

constexpr uint64_t kBlock = 0x01000000; // final addresses move as a whole within 16 MB blocks

struct Range {
    uint64_t start;
    uint64_t end;
};

// The final ranges of `destinations`, cut where a 16 MB block ends.
std::vector<Range> finalRanges(const std::vector<Loader::Destination>& destinations,
                               const std::function<uint32_t(uint32_t)>& final_address) {
    std::vector<Range> ranges;
    for (const Loader::Destination& destination : destinations) {
        for (uint64_t at = destination.start; at < destination.end;) {
            uint64_t piece_end = std::min(destination.end, (at / kBlock + 1) * kBlock);
            uint64_t moved = final_address(static_cast<uint32_t>(at));
            ranges.push_back({moved, moved + (piece_end - at)});
            at = piece_end;
        }
    }
    return ranges;
}

} // namespace

std::optional<PlacementConflict>
findPlacementConflict(const MemoryManager& memory, const std::vector<Loader::Destination>& destinations,
                      const std::function<uint32_t(uint32_t)>& final_address) {
    if (memory.table() == nullptr)
        return std::nullopt;
    std::vector<Range> ranges = finalRanges(destinations, final_address);
    auto conflictOf = [&](int index) -> std::optional<PlacementConflict> {
        uint64_t page = memory.table()[index].paddr;
        for (const Range& range : ranges) {
            if (range.start < page + memory.getPageSize() && page < range.end)
                return PlacementConflict{static_cast<uint32_t>(page), static_cast<uint32_t>(range.start),
                                         static_cast<uint32_t>(range.end - 1)};
        }
        return std::nullopt;
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
