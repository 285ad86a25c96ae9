// Replays a finished page list the way the second stage walks it after the
// jump: links are followed from the head, load links copy two words per pass,
// zero-clear links store one word per pass, everything in whole 32-bit words
// (word stores ignore the two low address bits, as on these processors), and
// the PXA2x0 variant moves every link's start into the 256 MB SDRAM region at
// 0xA0000000 (top 4 bits replaced by 0xA).
//
// The stores do not go into the simulated RAM: they go into a separate,
// sparse result memory, so the RAM as the loader left it stays intact for
// comparison. Reads see the result memory first and the RAM below it, which
// is what the processor would read in place; a read of a word that an earlier
// link already overwrote (a later source, a link record, the argument page)
// is reported as a hazard, because on the device the overlap is real.
#pragma once

#include "sim/hand_off.h"

#include <bitset>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

class PhysicalMemory;

// A link is four words: next, src, dst, len. The last link's `next`, and the
// `src` of a link that clears its destination instead of copying:
constexpr uint32_t kListEnd = 0xFFFFFFFFu;
constexpr uint32_t kZeroClearSource = 0xFFFFFFFFu;

// The second stage the loader placed is the one of its jump routine.
using SecondStageVariant = JumpRoutine;

// A destination (or the kernel entry) as the second stage uses it.
uint32_t secondStageAddress(uint32_t address, SecondStageVariant variant);

// The words the second stage stored, by physical page.
class ReplayedMemory {
  public:
    static constexpr uint32_t kPageSize = 4096;

    // True when every byte of [paddr, paddr + size) was stored by the replay.
    bool written(uint32_t paddr, uint32_t size) const;
    // True when any byte of [paddr, paddr + size) was stored by the replay.
    bool touched(uint32_t paddr, uint32_t size) const;
    // The bytes stored by the replay; bytes it did not store read as `fill`.
    std::vector<uint8_t> read(uint32_t paddr, uint32_t size, uint8_t fill = 0) const;
    // Stored ranges, merged where they touch, in ascending order.
    std::vector<std::pair<uint32_t, uint32_t>> ranges() const; // {start, size}
    size_t pageCount() const { return pages_.size(); }

    // The word at word-aligned `paddr`, when stored.
    bool word(uint32_t paddr, uint32_t& value) const;
    void storeWord(uint32_t paddr, uint32_t value);

  private:
    struct Page {
        uint8_t bytes[kPageSize] = {};
        std::bitset<kPageSize / 4> words;
    };
    // The page numbered `number`; null when nothing was stored there.
    Page* findPage(uint32_t number) const;

    std::map<uint32_t, std::unique_ptr<Page>> pages_; // by page number
    // The page found last and the page last found missing: the replay works
    // through a source page and a destination page at a time.
    mutable uint32_t last_number_ = 0;
    mutable Page* last_page_ = nullptr;
    mutable uint32_t missing_number_ = 0;
    mutable bool missing_known_ = false;
};

struct ReplayHazard {
    enum Kind {
        kLinkOverwritten,   // a link record read after an earlier link stored over it
        kSourceOverwritten, // source bytes read after an earlier link stored over them
        kArgumentPageOverwritten,
        kDestinationOutsideRam,
    };
    Kind kind;
    uint32_t link;    // physical address of the link being handled (0 for the argument page)
    uint32_t address; // first word concerned
};

struct ReplayResult {
    bool ok = false;   // the list was walked to its terminator
    std::string error; // why not, when not
    uint32_t links = 0;
    uint32_t load_links = 0;
    uint32_t zero_links = 0;
    // (end of the last link + 0x2000) & ~0xFFF; only when a link was handled.
    bool has_stack_pointer = false;
    uint32_t stack_pointer = 0;
    // From the argument page when one was given (the entry as the second stage
    // branches to it).
    bool has_entry = false;
    uint32_t entry = 0;
    uint32_t argc = 0;
    uint32_t argv = 0;
    uint32_t boot_info = 0;
    ReplayedMemory memory;
    std::vector<ReplayHazard> hazards;

    // The bytes the kernel finds at [paddr, paddr + size): stored by the replay
    // where it stored, the RAM's otherwise (0 outside RAM), written to `out`.
    void kernelView(uint32_t paddr, uint8_t* out, uint32_t size) const;
};

constexpr uint32_t kNoArgumentPage = 0xFFFFFFFFu;

// Walks the list starting at `list_head` over the current simulated RAM.
ReplayResult replayPageList(uint32_t list_head, SecondStageVariant variant,
                            uint32_t argument_page = kNoArgumentPage);

} // namespace sim
