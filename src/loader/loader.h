// A kernel loader: reads the image into tagged pages and chains 16-byte
// PageLink records that say where every piece must finally go.
#pragma once

#include "loader/kernel_layout.h"
#include "memory/load_steps.h"
#include "memory/memory_manager.h"
#include "platform/local_vector.h"

#include <bit>
#include <cstdint>
#include <vector>

class Architecture;
class Console;
class FileManager;

// The page list is written with host stores; the device and the simulated
// handheld are both little-endian.
static_assert(std::endian::native == std::endian::little);

// The record the second stage reads; all words little-endian, all addresses physical.
struct PageLink {
    static constexpr uint32_t kEnd = 0xFFFFFFFFu;       // `next` of the last link
    static constexpr uint32_t kZeroClear = 0xFFFFFFFFu; // `src` of a zero-clear link
    uint32_t next;
    uint32_t src;
    uint32_t dst;
    uint32_t len;
};
static_assert(sizeof(PageLink) == 16);

class Loader {
  public:
    // kUnreadable: the file refused the read (its manager has said why).
    enum FileType { kUnreadable = -1, kUnknown = 0, kElf = 1 };

    Loader(Console** console, MemoryManager** memory);
    virtual ~Loader() = default;

    // How this boot places the kernel, and the file-system image's size
    // (step 7), known before setFile: a variant that reads a streamed file
    // (FileManager::streamed) may then put the kernel's bytes into the pages
    // the boot hands over as it reads its headers, in one pass. Without it
    // (tests of the loader alone) the kernel is read at `load`.
    void prepareBoot(Architecture* architecture, uint32_t image_size) {
        architecture_ = architecture;
        image_size_ = image_size;
    }
    // Stores the open kernel file; variants then read and check its headers.
    virtual bool setFile(FileManager* file);
    // Bytes of memory the image needs, including the page-list overhead.
    virtual uint32_t memorySize() = 0;
    virtual bool load() = 0;
    virtual uint32_t jumpAddr() = 0;

    // kElf when the file begins with the ELF magic.
    static int probeFileType(FileManager& file);

    void initPageList();
    void loadSegment(uint32_t destination, uint32_t memory_size, uint32_t file_offset, uint32_t file_size);
    void loadMemory(uint32_t destination, uint32_t size, const uint8_t* source);
    // Virtual so that a test can stand in for the image and the list end.
    virtual bool loadExtraData();
    virtual void endPageList();
    uint32_t pageListHead() const { return list_head_; }
    bool loadSucceeded() const { return load_error_ == 0; }

    int loadLinks() const { return load_links_; }
    int zeroLinks() const { return zero_links_; }
    uint32_t kernelEnd() const { return kernel_end_; }

    // A range the page list stores to, in whole words: copied, or cleared.
    struct Destination {
        uint32_t start;
        uint64_t end;
        bool zero_fill = false;
        // A place the kernel may still take (MemoryManager::KernelRange::undecided).
        bool undecided = false;
        bool operator==(const Destination&) const = default;
    };
    // False, with the fault printed, when the kernel laid out as the file
    // says, with an image of `image_size` bytes after it, could only fault
    // after the jump on a machine that places it as `placement` says (after
    // memorySize). Variants that know their pieces override it.
    virtual bool checkLayout(const KernelPlacement& placement, uint32_t image_size) {
        (void)placement;
        (void)image_size;
        return true;
    }

    // Every range the page list stores to, in list order; the ranges of
    // consecutive links that continue one another joined.
    const std::vector<Destination>& destinations() const { return destinations_; }
    // The ranges the kernel and, when `image_size` is not 0, an image of
    // that many bytes after it fill, joined the same way, known before
    // anything is loaded (after memorySize). Without pages in place, the
    // list then stores to exactly these.
    std::vector<Destination> plannedDestinations(uint32_t image_size) const;

  protected:
    // Reads file bytes for the loader; variants may serve them from what
    // they kept of the file.
    virtual uint32_t readFile(void* data, uint32_t size, uint32_t offset);
    // Prints a segment's lines as loadSegment does, with the short reads
    // found when its bytes were put into pages earlier (placeSegment).
    void reportSegment(uint32_t destination, uint32_t memory_size, uint32_t file_offset, uint32_t file_size);
    // loadSegment; while placing_ahead_, without its lines (reportSegment prints them).
    void placeSegment(uint32_t destination, uint32_t memory_size, uint32_t file_offset, uint32_t file_size);
    // Forgets the page list (its pages went back with the reservation).
    void forgetPageList();

    // The links of one range made apart from the list and put into it later,
    // where the list's order wants them: the one pass reads the segments in
    // file order, the list takes them in program-header order.
    struct SubChain {
        PageLink first{};          // its first link, written where the list stands when it is put in
        bool empty = true;         // no link at all (every byte in place)
        PageLink* last = nullptr;  // its last link; null when that is `first`
        PageLink* after = nullptr; // the slot the list goes on with after it
    };
    // Links made from here on go into a sub-chain, until endSubChain.
    void beginSubChain();
    SubChain endSubChain();
    // Back to the list's first slot, to put sub-chains into it in order.
    void restartChain();
    void appendSubChain(const SubChain& chain);
    // True once a page was asked for and none was left.
    bool pagesRanOut() const { return pages_ran_out_; }

    struct Plan {
        std::vector<Destination> ranges;
        uint32_t end = 0; // as kernelEnd() will be
    };
    // Adds the kernel's links in list order; variants that know their ranges override it.
    virtual void planKernel(Plan& plan) const { (void)plan; }
    // The ranges loadSegment will fill for these arguments.
    void planSegment(Plan& plan, uint32_t destination, uint32_t memory_size, uint32_t file_size) const;
    void print(const char16_t* format, ...);
    // Where the image goes after a kernel ending at `kernel_end`.
    static uint64_t imageDestination(uint32_t kernel_end);

    PageLink* current_link_ = nullptr;
    PageLink* previous_link_ = nullptr;
    PageLink* spare_link_ = nullptr;
    uint32_t spare_link_paddr_ = 0;
    int32_t load_links_ = 0;
    int32_t zero_links_ = 0;
    uint32_t chunk_size_ = 0;
    int32_t load_error_ = 0;
    Console** console_;
    MemoryManager** memory_;
    FileManager* file_ = nullptr;
    uint32_t list_head_ = PageLink::kEnd;
    uint32_t kernel_end_ = 0;
    Architecture* architecture_ = nullptr;
    uint32_t image_size_ = 0;
    // The kernel's bytes are put into pages before their lines are due: the
    // lines wait for reportSegment.
    bool placing_ahead_ = false;

  private:
    bool takeDataPage(MemoryManager::TaggedPage& page);
    // Fills the current slot with a load link for `page` and moves on to its slot.
    void linkChunk(const MemoryManager::TaggedPage& page, uint32_t destination, uint32_t size);
    // Where `size` bytes for `destination` are put: a new tagged page with
    // its link, or the page in place there; null when no page is left.
    uint8_t* placeFor(uint32_t destination, uint32_t size, bool in_place);
    // Where a packed part goes: at `at` of the shared page (a new one when
    // `new_page`), after its link slot, linked; null when no page is left.
    uint8_t* placePacked(bool new_page, uint32_t at, uint32_t destination, uint32_t size);
    // Reads `size` file bytes from `file_offset` into `data`; false after a short read.
    bool readChunk(uint8_t* data, uint32_t file_offset, uint32_t size);
    // Calls each(destination, offset, size, data) with where to put the
    // pieces of `size` bytes for `destination`, in place where pages are.
    template <typename Each>
    void forEachPiece(uint32_t destination, uint32_t size, Each each);
    void addZeroClear(uint32_t destination, uint32_t size);
    void printLoad(uint32_t destination, uint32_t memory_size, uint32_t file_offset, uint32_t file_size);
    void printZero(uint32_t destination, uint32_t memory_size, uint32_t file_size);

    void recordDestination(uint32_t start, uint32_t size, bool zero_fill);

    int32_t spare_links_left_ = 0;
    bool pages_ran_out_ = false;
    PageLink* head_link_ = nullptr; // the list's first slot
    PageLink sub_chain_start_{};    // where a sub-chain's first link is made
    // Short reads met while placing segments ahead of their lines, for reportSegment.
    struct ShortRead {
        uint32_t offset, got, size;
    };
    LocalVector<ShortRead> short_reads_;
    std::vector<Destination> destinations_;
    // The pieces cut short by a page in place share pages: the one being filled.
    PiecePacker packer_{0};
    MemoryManager::TaggedPage pack_page_{};
};
