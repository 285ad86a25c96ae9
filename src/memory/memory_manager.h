// The pages of one boot: a region of process memory reserved from the OS, the
// physical address of every page (the AddressTranslationTable), pages handed
// out from the front (data and page-list links) and from the end (the few
// special pages), and mappings of physical ranges for device registers.
#pragma once

#include "platform/local_memory.h"
#include "platform/local_vector.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class Console;

class MemoryManager {
  public:
    static constexpr uint32_t kNotFound = 0xFFFFFFFFu;
    static constexpr int kMaxBanks = 16;
    static constexpr uint32_t kLinkSize = 16;
    static constexpr uint32_t kRegionGranularity = 0x10000;
    // Pages every boot takes besides the kernel's: the page list's first
    // page, then the second stage's code, stack and argument pages from the end.
    static constexpr uint32_t kBootPages = 4;

    struct Bank {
        uint32_t address;
        uint32_t size;
    };
    // A physical range [start, end).
    struct Stretch {
        uint64_t start;
        uint64_t end;
    };
    // `ranges` sorted, with overlapping and adjacent ones joined, empty ones dropped.
    static std::vector<Stretch> merged(std::vector<Stretch> ranges);
    // The range of `sorted` (as `merged` leaves them) that overlaps [start, end), or null.
    static const Stretch* overlapping(const std::vector<Stretch>& sorted, uint64_t start, uint64_t end);
    struct TableEntry {
        uint8_t* vaddr;
        uint32_t paddr;
    };
    struct Page {
        uint8_t* vaddr;
        uint32_t paddr;
    };
    // A page whose first 16 bytes hold a PageLink and the rest data.
    struct TaggedPage {
        uint8_t* data_vaddr;
        uint32_t data_paddr;
        uint8_t* link_vaddr;
        uint32_t link_paddr;
    };

    MemoryManager(Console** console, uint32_t page_size);
    // Physical address of the page at `vaddr`, or kNotFound.
    virtual uint32_t searchPage(uint8_t* vaddr) = 0;
    virtual ~MemoryManager();
    virtual bool init();

    void addBank(uint32_t address, uint32_t size);
    // A range the page list fills, at its final place, whole words.
    struct KernelRange {
        Stretch place;
        bool zero_fill = false;
        // A place the kernel may still take, known only once its whole file
        // has been read (the symbol block, the image after it): a frame there
        // is kept aside, neither handed out nor given back, until the next
        // placeKernel names the final places.
        bool undecided = false;
    };
    // The kernel's final ranges, in list order, and how the second stage
    // moves a destination to its final address (unset: as it stands). A page
    // of the next reservation whose frame lies where the kernel's bytes go is
    // a page in place: it never enters the table, the loader puts those
    // bytes straight into it (inPlace) and the table needs that many fewer
    // pages. A page whose frame lies only where the kernel is cleared (or
    // where bytes and clearing meet) is held back: it stays committed while
    // reserving, so the OS cannot hand the frame out again, and is given
    // back once the table is full. More is reserved until the table holds
    // what the pages in place leave to carry.
    // After a provisional reservation it sorts the frames kept aside, and
    // the table's pages not yet handed out, by the final places.
    void placeKernel(std::vector<KernelRange> ranges, std::function<uint32_t(uint32_t)> final_address = {});
    // Commits only the pages the table needs, as few calls as Windows CE
    // grants (a refused commit is asked again in smaller pieces), and asks
    // `setMemoryRelease`'s hook once when none is left.
    bool reservePages(uint32_t size);
    // The next reservation is made before the kernel's final places are
    // known (they follow once its whole file has been read): the memory
    // manager says nothing until the reservePages after the final
    // placeKernel, which completes that reservation instead of starting
    // again and then reports it. Its table holds at least the pages for the
    // kernel's ranges known now and `other_pages` more, whatever the frames
    // kept aside may carry later.
    void reserveProvisionally(uint32_t other_pages) {
        provisional_ = quiet_ = true;
        provisional_pages_ = other_pages;
    }
    bool provisional() const { return provisional_ && !regions_.empty(); }
    // Gives every page back and forgets the table (not the kernel's places).
    void releaseRegion();
    // Called when no commit is granted any more; true when it gave memory back (worth asking again).
    void setMemoryRelease(std::function<bool()> release) { release_memory_ = std::move(release); }
    // Where the kernel's byte at `destination` goes, when its final frame is a
    // page in place: that page's address for it; else null.
    uint8_t* inPlace(uint32_t destination) const;
    bool getPage(Page& page);
    bool getTaggedPage(TaggedPage& page);
    bool getPageFromEnd(Page& page);
    // A page from the front that its taker gives back (returnPage) before
    // the boot is done with the table; getPage hands it out again. The
    // reservation counts it as still needed until then.
    bool lendPage(Page& page);
    void returnPage(const Page& page);
    // Gives the frames held back to the OS once the kernel is loaded (they
    // lie only where the second stage clears or stores anyway, and nothing
    // reads them): given back while the reservation goes on, the OS would
    // hand them out to it again.
    void giveBackHeldBack();
    // Maps the whole pages covering [paddr, paddr + size); null when refused.
    volatile uint8_t* mapPhysicalPage(uint32_t paddr, uint32_t size, uint32_t protection);
    void unmapPhysicalPage(volatile uint8_t* vaddr);

    uint32_t getPageSize() const { return page_size_; }
    uint32_t getTaggedPageSize() const { return page_size_ - kLinkSize; }
    uint32_t estimateTaggedPageSize(uint32_t n) const;
    uint32_t roundPage(uint32_t n) const { return (n + page_size_ - 1) & ~(page_size_ - 1); }
    uint32_t truncPage(uint32_t n) const { return n & ~(page_size_ - 1); }
    // Whole allocation granules: the bytes a region of at least `n` bytes takes.
    static uint64_t roundRegion(uint64_t n) {
        return (n + kRegionGranularity - 1) & ~uint64_t{kRegionGranularity - 1};
    }

    int bankCount() const { return bank_count_; }
    // Bytes of the longest stretch of adjacent banks; 4 GB when no bank is registered.
    uint64_t largestBankRun() const;
    // The index of the first range that does not lie inside one stretch of
    // adjacent banks; ranges.size() when all do (or no bank is registered).
    size_t firstOutsideBanks(const std::vector<Stretch>& ranges) const;
    const Bank& bank(int i) const { return banks_[i]; }
    int mappedCount() const { return mapped_count_; }
    int nextPage() const { return next_page_; }
    const TableEntry* table() const { return table_.empty() ? nullptr : table_.begin(); }
    // Pages of the reservation kept out of the table and given back.
    int heldBackCount() const { return held_back_count_; }
    // Pages of the reservation whose frames carry the kernel's bytes in place.
    int inPlaceCount() const { return static_cast<int>(in_place_.size()); }
    // Entries the table got at the reservation, pages handed out or not.
    int tableCount() const { return table_count_; }

  protected:
    void print(const char16_t* format, ...);
    // Virtual space reserved for the table's pages, committed from its start.
    struct Region {
        uint8_t* base;
        uint64_t pages;
        uint64_t committed;
    };
    // Reserves virtual space for at least `pages` pages; false when refused.
    bool reserveSpace(uint64_t pages);
    // Commits up to *count pages where the last region has room (reserving
    // more space when it has none), in as few calls as are granted; sets
    // *count to the pages committed. Null when not even one page is granted.
    uint8_t* commitPages(uint64_t* count);
    // Asks the program once per reservation to give back what it keeps for
    // later; true when it did.
    bool releaseMemory();
    // Whether the program is still to be asked in this reservation.
    bool mayRelease() const { return !released_ && release_memory_; }
    // Whether program memory has room for `pages` more pages now.
    bool enoughFree(uint64_t pages) const;
    enum class Mapped { All, PageNotFound, NoRoom, NoMemory };
    // Commits pages and sorts them into the table, the pages in place, those
    // held back and those kept aside until the table holds `wanted()`.
    template <typename Wanted>
    Mapped fill(Wanted wanted);
    // Sorts `count` committed pages from `first`; stops at a page without a
    // physical address, or when the heap has no room to list one.
    Mapped mapPages(uint8_t* first, uint64_t count);
    // Where the frame of one page of the reservation goes.
    bool sortPage(const TableEntry& page);
    // Table pages a reservation of `pages` pages needs now: fewer by the
    // pages in place, and by the frames kept aside, which will mostly carry
    // bytes in place; more by the pages lent out.
    uint64_t tableTarget(uint64_t pages) const;
    // The pages kept aside and those of the table not yet handed out, sorted
    // again by the final places.
    bool settle();
    void reportReservation(uint64_t pages);
    enum class FrameUse { Table, InPlace, HeldBack, Undecided };
    FrameUse frameUse(uint32_t paddr) const;
    // Whether every byte of the frame at `frame` that the kernel's bytes
    // reach can be put there now: none of them is also cleared by the list,
    // and the frame does not end the list's last range (the kernel's stack
    // pointer follows the end of the last link).
    bool canCarryInPlace(uint64_t frame) const;
    const TableEntry* inPlaceEntry(uint64_t frame) const;
    // Tagged pages the loader takes for the kernel's bytes, with the pages
    // in place found so far (or as if there were none).
    uint64_t loadPagesNeeded(bool with_in_place = true) const;
    std::vector<Stretch> bankStretches() const;
    // Bytes of the banks that lie outside the ranges the list clears.
    uint64_t bankBytesOutsideClearing() const;

    Console** console_;
    uint32_t page_size_;
    uint32_t page_shift_;
    Bank banks_[kMaxBanks]{};
    int bank_count_ = 0;
    LocalVector<Region> regions_;
    std::vector<KernelRange> kernel_;    // list order
    std::vector<Stretch> loads_;         // sorted, disjoint
    std::vector<Stretch> zeros_;         // sorted, disjoint
    std::vector<Stretch> undecided_;     // sorted, disjoint
    uint64_t last_frame_ = ~uint64_t{0}; // ends the list's last range, when that is loaded
    std::function<uint32_t(uint32_t)> final_address_;
    LocalVector<TableEntry> in_place_; // sorted by frame
    LocalVector<TableEntry> held_back_;
    LocalVector<TableEntry> kept_aside_;
    int held_back_count_ = 0;
    int mapped_count_ = 0;
    LocalVector<TableEntry> table_;
    int table_count_ = 0;
    int next_page_ = 0;
    LocalVector<Page> returned_;
    int lent_ = 0;
    // Pages asked of one commit; halved when a commit is refused.
    uint64_t batch_ = ~uint64_t{0};
    bool provisional_ = false;
    uint32_t provisional_pages_ = 0;
    bool released_ = false;               // the program was asked for memory back in this reservation
    uint64_t pages_without_in_place_ = 0; // loadPagesNeeded(false) of the kernel's places
    bool quiet_ = false;
    // A provisional reservation could not be sorted again by the final places.
    bool lost_ = false;
    std::function<bool()> release_memory_;
};
