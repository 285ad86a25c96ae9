// Places in a gzip file where inflating can start again without going back
// to the first byte: at a deflate block boundary every so many output bytes,
// and at the start of every member. Each point keeps the output offset, the
// input offset and the bits of the byte before it still to be taken, and the
// member's last 32 KB of output that the following data may refer back to.
#pragma once

#include "platform/local_memory.h"

#include <cstdint>
#include <vector>

class GzipAccessIndex {
  public:
    // 2 MiB between points: a 16 MB kernel keeps 8 windows of 32 KB (256 KB),
    // and a seek back inflates at most 2 MiB again.
    static constexpr uint64_t kDefaultSpacing = 2u << 20;

    struct Point {
        uint64_t output = 0;
        // Offset in the file of the first byte not yet fully taken; with
        // `bits` nonzero, the high `bits` bits of the byte before it come first.
        uint64_t input = 0;
        int bits = 0;
        bool member_start = false;
        LocalArray<uint8_t> window; // from the platform heap
        uint32_t window_size = 0;
    };

    explicit GzipAccessIndex(uint64_t spacing = kDefaultSpacing) : spacing_(spacing) {}

    // A member's deflate data starts at `input` with output offset `output`.
    void addMemberStart(uint64_t output, uint64_t input);
    // Whether a block boundary at `output` is far enough from the last point.
    bool wantsPoint(uint64_t output) const;
    // A point whose window of `window_size` bytes the caller fills in place;
    // null when the heap refuses the window (no point is added, the index
    // stays usable: reads behind the front start further back).
    uint8_t* addPoint(uint64_t output, uint64_t input, int bits, uint32_t window_size);

    // The last point at or before `output`, or null when there is none.
    const Point* before(uint64_t output) const;
    // The member start at exactly `output`, or null.
    const Point* memberStartAt(uint64_t output) const;

    size_t pointCount() const { return points_.size(); }
    // The bytes of the points' windows, which come from the platform heap.
    uint64_t windowBytes() const;
    // The bytes of the point records themselves, which come from the C++ heap.
    uint64_t recordBytes() const;

  private:
    uint64_t spacing_;
    std::vector<Point> points_;
};
