// How the loader carries one range of the kernel to its final place. Where
// Windows CE handed the loader a page whose frame lies in the range, the
// range's bytes are put into that page directly: they are then in place and
// the second stage has nothing to copy for them. The rest goes in chunks of
// at most one tagged page's data, each ending before the next frame in place.
// The chunk cut short by a frame in place would waste most of a page of its
// own: those pieces share pages instead (PiecePacker). The loader walks this
// to load, the memory manager to count the pages the loader will take; both
// must take the same steps.
#pragma once

#include <algorithm>
#include <cstdint>

enum class LoadStep {
    InPlace, // into the page whose frame is there
    Chunk,   // a tagged page of its own
    Packed,  // cut short by a frame in place: into a page it shares
};

// Calls each(offset, size, step) for the steps that carry [start, start +
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
        uint64_t step = std::min(size - done, to_frame_end);
        LoadStep kind = LoadStep::InPlace;
        if (!in_place(frame)) {
            step = std::min<uint64_t>(size - done, chunk);
            kind = LoadStep::Chunk;
            // A chunk is shorter than a page: it reaches one frame further at most.
            bool next_in_place =
                step >= to_frame_end && done + to_frame_end < size && in_place(frame + page_size);
            if (next_in_place) {
                step = to_frame_end;
                if (step < chunk)
                    kind = LoadStep::Packed;
            }
        }
        each(done, step, kind);
        done += step;
    }
}

// Where the packed pieces go: each one after the 16-byte link slot the list
// goes on with, word-aligned, in as many pages as they fill; a piece that
// does not fit the rest of a page is split.
class PiecePacker {
  public:
    static constexpr uint32_t kSlot = 16;

    // `capacity`: the data bytes of a tagged page.
    explicit PiecePacker(uint32_t capacity) : capacity_(capacity), used_(capacity) {}

    // Calls each(new_page, at, offset, size) for the parts of a piece of
    // `size` bytes: its slot at `at` of the current page (a new one when
    // new_page), its bytes after it; `offset` into the piece.
    template <typename Each>
    void pack(uint64_t size, Each each) {
        for (uint64_t done = 0; done < size;) {
            bool new_page = capacity_ - used_ < kSlot + 4;
            if (new_page)
                used_ = 0;
            uint32_t room = (capacity_ - used_ - kSlot) & ~3u;
            uint32_t part = static_cast<uint32_t>(std::min<uint64_t>(size - done, room));
            each(new_page, used_, static_cast<uint32_t>(done), part);
            used_ += kSlot + ((part + 3) & ~3u);
            done += part;
        }
    }

  private:
    uint32_t capacity_;
    uint32_t used_;
};
