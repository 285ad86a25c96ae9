// How the loader carries one range of the kernel to its final place. Where
// Windows CE handed the loader a page whose frame lies in the range, the
// range's bytes are put into that page directly: they are then in place and
// the second stage has nothing to copy for them. The rest goes in chunks of
// at most one tagged page's data, each ending before the next frame in place.
// The loader walks this to load, the memory manager to count the pages the
// loader will take; both must take the same steps.
#pragma once

#include <algorithm>
#include <cstdint>

// Calls each(offset, size, in_place) for the steps that carry [start, start +
// size); `in_place(frame)` tells whether the page-aligned frame at `frame`
// (an address in the same space as `start`) is in place.
template <typename InPlace, typename Each>
void forEachLoadStep(uint64_t start, uint64_t size, uint32_t chunk, uint32_t page_size, InPlace in_place,
                     Each each) {
    const uint64_t page_mask = page_size - 1;
    for (uint64_t done = 0; done < size;) {
        uint64_t at = start + done;
        uint64_t frame = at & ~page_mask;
        uint64_t to_frame_end = frame + page_size - at;
        uint64_t step;
        bool placed = in_place(frame);
        if (placed) {
            step = std::min(size - done, to_frame_end);
        } else {
            step = std::min<uint64_t>(size - done, chunk);
            // A chunk is shorter than a page: it reaches one frame further at most.
            if (step > to_frame_end && in_place(frame + page_size))
                step = to_frame_end;
        }
        each(done, step, placed);
        done += step;
    }
}
