// Simulated physical memory: each profile's RAM in its banks, divided as
// Windows CE divides it (sim/ram_split.h): the kernel's part, the object
// store's frames scattered over all banks, and program memory, from which
// committed pages and the process heap take frames as Windows CE hands them
// out (scattered). Device register ranges are reached by VirtualCopy.
//
// The RAM is one memory file covering the window from the first bank to the
// end of the last; frames between banks are no RAM. A committed page of a
// process region keeps its bytes in private host memory, which is cheap to
// come by, and the frame records where they are: physical reads and writes go
// there. When the same frame must be seen at a second address (VirtualCopy) or
// the RAM is taken whole (the emulators), the page's bytes move into the
// memory file and the page becomes a shared mapping of its frame. Host memory
// is only used for frames that were touched.
#pragma once

#include "platform/wince_types.h"
#include "sim/device_model.h"
#include "sim/device_profile.h"
#include "sim/memory_knobs.h"

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace sim {

// The coredll exports LockPages / UnlockPages.
ce::BOOL LockPages(ce::LPVOID address, ce::DWORD size, ce::DWORD* frames, int options);
ce::BOOL UnlockPages(ce::LPVOID address, ce::DWORD size);

// What a frame of the RAM window holds.
enum class FrameUse : uint8_t {
    NotRam,      // between banks, or outside the window
    Kernel,      // the kernel's part: never handed out
    ObjectStore, // the object store's: never handed out
    Free,        // program memory nobody holds
    Committed,   // a committed page's
    Heap,        // the process heap's
};

class PhysicalMemory {
  public:
    static constexpr uint32_t kFrameSize = 4096;
    static constexpr uint32_t kNoFrame = 0xFFFFFFFFu;

    // Made on first use for the current profile of the handheld.
    static PhysicalMemory& get();

    // New, zeroed RAM for `profile` with an object store of `object_store`
    // bytes: every process region and device model of the previous device is
    // released first; the process heap's bytes take program memory again.
    void reset(const DeviceProfile& profile, uint32_t object_store);

    // The window from the first bank's start to the last bank's end.
    uint32_t base() const { return base_; }
    uint32_t size() const { return size_; }
    const std::vector<RamBank>& banks() const { return banks_; }
    // True when [paddr, paddr + size) is RAM: inside one bank, or banks that follow each other.
    bool contains(uint32_t paddr, uint32_t size) const;
    bool read(uint32_t paddr, void* out, uint32_t size) const;
    bool write(uint32_t paddr, const void* in, uint32_t size);
    // Host pointer to the RAM byte at `paddr`, valid up to the end of its
    // frame; null outside RAM.
    uint8_t* hostAddress(uint32_t paddr);
    // Moves every frame's bytes into the memory file, for whoever takes the
    // RAM whole: afterwards hostAddress(base()) and memoryFile() show all of it.
    void settle();

    // Frames of program memory for committed pages, chosen by the handheld's
    // memory knobs: runs of consecutive frames in scattered places. All
    // `count` frames or none (false) when the free frames or the limit do not allow.
    bool allocateFrames(uint32_t count, std::vector<uint32_t>& frames);
    // Takes the frame at `paddr` for a restored device's committed page; false
    // when it is no RAM, the kernel's, or already held. After the jump the
    // object store is gone: its frames can be taken.
    bool claimFrame(uint32_t paddr);
    // Gives the committed frames back, zeroed, and returns their host memory.
    // Frames not committed are ignored.
    void releaseFrames(std::vector<uint32_t> paddrs);
    // Program memory for the process's heaps, `bytes` together in whole
    // frames: takes frames as they grow (false, taking none, when the
    // thresholds refuse so many) and gives them back as they shrink.
    bool holdHeap(uint64_t bytes);
    // Whether one request for `count` frames may take them now, as Windows
    // CE's memory thresholds (MemoryKnobs::thresholds) allow.
    bool thresholdsAllow(uint64_t count) const;
    // Committed frames.
    uint32_t framesInUse() const { return in_use_count_; }
    bool frameInUse(uint32_t paddr) const { return frameUse(paddr) == FrameUse::Committed; }
    FrameUse frameUse(uint32_t paddr) const;
    // Program memory in frames: all of it, and what nobody holds.
    uint32_t programFrames() const { return program_frames_; }
    uint32_t freeFrames() const { return static_cast<uint32_t>(free_low_.size() + free_high_.size()); }
    // The frame in use at `paddr` keeps its bytes at `bytes` (a committed
    // page's private memory) or, with null, in the memory file again.
    void setPrivateBytes(uint32_t paddr, uint8_t* bytes);
    uint8_t* privateBytes(uint32_t paddr) const;
    // Counts the pages that map the frame at `paddr` by its physical address
    // (VirtualCopy), whether or not the frame is in use: a page committed on
    // such a frame must keep its bytes in the memory file, where they see it.
    void addMapping(uint32_t paddr);
    void dropMapping(uint32_t paddr);
    bool mappedElsewhere(uint32_t paddr) const;
    // The RAM's memory file and the file offset of a physical address, for
    // mapping; it holds every frame's bytes only after settle().
    int memoryFile() const { return fd_; }
    uint64_t fileOffset(uint32_t paddr) const { return paddr - base_; }
    // The memory file's bytes of `paddr`, whatever private copy the frame has.
    uint8_t* fileBytes(uint32_t paddr) { return host_ + (paddr - base_); }
    // Zeroes whole frames in the memory file and gives their host memory back.
    void zeroFileFrames(uint32_t paddr, uint32_t count);

    // Device models answer accesses to mappings of their physical range.
    void attachDevice(uint32_t base, uint32_t size, std::shared_ptr<DeviceModel> model);
    void detachDevice(uint32_t base);
    // The model covering `paddr` and the offset into it; null when none.
    DeviceModel* deviceAt(uint32_t paddr, uint32_t* offset) const;
    // False for physical ranges the knobs mark absent.
    bool isPresent(uint32_t paddr, uint32_t size) const;

    PhysicalMemory(const PhysicalMemory&) = delete;
    PhysicalMemory& operator=(const PhysicalMemory&) = delete;

  private:
    struct Device {
        uint32_t base;
        uint32_t size;
        std::shared_ptr<DeviceModel> model;
    };

    PhysicalMemory() = default;
    ~PhysicalMemory();
    // The free frames of one half of RAM, any one removable in constant time.
    class FreeFrames {
      public:
        bool empty() const { return frames_.empty(); }
        size_t size() const { return frames_.size(); }
        uint32_t at(size_t index) const { return frames_[index]; }
        void add(uint32_t frame, std::vector<uint32_t>& positions);
        void remove(uint32_t frame, std::vector<uint32_t>& positions);
        void clear() { frames_.clear(); }

      private:
        std::vector<uint32_t> frames_;
    };

    void releaseRam();
    // Frame roles of a new device: banks, the kernel's part, the object store.
    void divide(const DeviceProfile& profile, uint32_t object_store);
    void setUse(uint32_t paddr, uint32_t size, FrameUse use);
    uint32_t frameOf(uint32_t paddr) const { return (paddr - base_) / kFrameSize; }
    // Where the byte at `paddr` (inside RAM) is kept.
    uint8_t* bytesAt(uint32_t paddr) const;
    // Calls `copy(bytes, done, count)` for each piece of [paddr, paddr + size)
    // inside one frame; false when the range leaves RAM.
    template <typename Copy>
    bool eachFramePiece(uint32_t paddr, uint32_t size, Copy copy) const;
    FreeFrames& poolOf(uint32_t frame) { return frame < upper_half_ ? free_low_ : free_high_; }
    void take(uint32_t frame, FrameUse use);
    void give(uint32_t frame);
    FreeFrames& choosePool(FramePlacement placement, std::mt19937& random);
    // Takes `count` free frames for `use` in runs of at most `longest`
    // consecutive frames at random places; their addresses are appended to
    // `frames`. The caller makes sure that enough are free.
    void drawFrames(uint32_t count, FrameUse use, FramePlacement placement, uint32_t longest,
                    std::mt19937& random, std::vector<uint32_t>& frames);
    // The random source of program memory, seeded by the knobs at its first use.
    std::mt19937& programRandom();

    bool made_ = false;
    int fd_ = -1;
    uint8_t* host_ = nullptr;
    uint32_t base_ = 0;
    uint32_t size_ = 0;
    uint32_t frame_count_ = 0;
    std::vector<RamBank> banks_;
    // The banks with those that follow each other joined.
    std::vector<RamBank> stretches_;
    // The first frame of the upper half of the RAM, the banks counted in order.
    uint32_t upper_half_ = 0;
    // Free frame numbers of the lower and the upper half of RAM.
    FreeFrames free_low_;
    FreeFrames free_high_;
    // Where each free frame sits in its pool.
    std::vector<uint32_t> pool_positions_;
    std::vector<FrameUse> use_;
    uint32_t in_use_count_ = 0;
    uint32_t program_frames_ = 0;
    std::vector<uint32_t> heap_frames_;
    // Where the bytes of a frame held privately by a committed page are.
    std::vector<uint8_t*> private_bytes_;
    std::vector<uint32_t> mappings_;
    std::mt19937 random_;
    bool seeded_ = false;
    std::vector<Device> devices_;
};

} // namespace sim
