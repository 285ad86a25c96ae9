#include "loader/placement_check.h"

#include <algorithm>

namespace {

constexpr uint64_t kBlock = 0x01000000; // final addresses move as a whole within 16 MB blocks

struct Range {
    uint64_t start;
    uint64_t end;
};

// The final ranges of `destinations`, sorted by start.
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
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.start < b.start; });
    return ranges;
}

} // namespace

std::optional<PlacementConflict>
findPlacementConflict(const MemoryManager& memory, const std::vector<Loader::Destination>& destinations,
                      const std::function<uint32_t(uint32_t)>& final_address) {
    std::vector<Range> ranges = finalRanges(destinations, final_address);
    if (ranges.empty() || memory.table() == nullptr)
        return std::nullopt;
    // The furthest end among the ranges up to each one, so that a lookup by
    // start also finds a long range that began earlier.
    std::vector<uint64_t> reach(ranges.size());
    uint64_t furthest = 0;
    for (size_t i = 0; i < ranges.size(); ++i)
        reach[i] = furthest = std::max(furthest, ranges[i].end);

    const uint64_t page_size = memory.getPageSize();
    for (int i = 0; i < memory.tableCount(); ++i) {
        uint64_t page = memory.table()[i].paddr;
        // The last range starting before the page's end; walk back while one may still reach it.
        auto after = std::upper_bound(ranges.begin(), ranges.end(), page + page_size - 1,
                                      [](uint64_t at, const Range& range) { return at < range.start; });
        for (auto it = after; it != ranges.begin();) {
            --it;
            if (reach[static_cast<size_t>(it - ranges.begin())] <= page)
                break;
            if (it->end > page)
                return PlacementConflict{static_cast<uint32_t>(page), static_cast<uint32_t>(it->start),
                                         static_cast<uint32_t>(it->end - 1)};
        }
    }
    return std::nullopt;
}
