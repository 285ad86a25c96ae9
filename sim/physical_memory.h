// Simulated physical memory: each profile's RAM as frames, process regions
// backed by frames handed out as Windows CE does (scattered, by default in
// the upper half of RAM), and device register ranges reached by VirtualCopy.
//
// The RAM is one memory file. A committed page of a process region keeps its
// bytes in private host memory, which is cheap to come by, and the frame
// records where they are: physical reads and writes go there. When the same
// frame must be seen at a second address (VirtualCopy) or the RAM is taken
// whole (the emulators), the page's bytes move into the memory file and the
// page becomes a shared mapping of its frame. Host memory is only used for
// frames that were touched.
#pragma once

#include "platform/wince_types.h"
#include "sim/device_model.h"
#include "sim/device_profile.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace sim {

// The coredll exports LockPages / UnlockPages.
ce::BOOL LockPages(ce::LPVOID address, ce::DWORD size, ce::DWORD* frames, int options);
ce::BOOL UnlockPages(ce::LPVOID address, ce::DWORD size);

class PhysicalMemory {
  public:
    static constexpr uint32_t kFrameSize = 4096;
    static constexpr uint32_t kNoFrame = 0xFFFFFFFFu;

    // Made on first use for the current profile of the handheld.
    static PhysicalMemory& get();

    // New, zeroed RAM for `profile`: every process region and device model of
    // the previous device is released first.
    void reset(const DeviceProfile& profile);

    uint32_t base() const { return base_; }
    uint32_t size() const { return size_; }
    bool contains(uint32_t paddr, uint32_t size) const;
    bool read(uint32_t paddr, void* out, uint32_t size) const;
    bool write(uint32_t paddr, const void* in, uint32_t size);
    // Host pointer to the RAM byte at `paddr`, valid up to the end of its
    // frame; null outside RAM.
    uint8_t* hostAddress(uint32_t paddr);
    // Moves every frame's bytes into the memory file, for whoever takes the
    // RAM whole: afterwards hostAddress(base()) and memoryFile() show all of it.
    void settle();

    // Frames for committed pages, chosen by the handheld's memory knobs: runs
    // of consecutive frames in scattered places. All `count` frames or none
    // (false) when the free frames or the limit do not allow.
    bool allocateFrames(uint32_t count, std::vector<uint32_t>& frames);
    // Takes the free frame at `paddr` (a restored device's page); false when
    // it is outside RAM or already in use.
    bool claimFrame(uint32_t paddr);
    // Gives the frames back, zeroed, and returns their host memory. Frames
    // not in use are ignored.
    void releaseFrames(std::vector<uint32_t> paddrs);
    uint32_t framesInUse() const { return in_use_count_; }
    // Frames the device's own drivers took at its start (the display's),
    // and those in use beyond them: committed pages', which the knobs'
    // frame limit counts.
    uint32_t deviceFrames() const { return device_frames_; }
    uint32_t programFrames() const { return in_use_count_ - std::min(in_use_count_, device_frames_); }
    bool frameInUse(uint32_t paddr) const;
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
    uint32_t frameOf(uint32_t paddr) const { return (paddr - base_) / kFrameSize; }
    // Where the byte at `paddr` (inside RAM) is kept.
    uint8_t* bytesAt(uint32_t paddr) const;
    // Calls `copy(bytes, done, count)` for each piece of [paddr, paddr + size)
    // inside one frame; false when the range leaves RAM.
    template <typename Copy>
    bool eachFramePiece(uint32_t paddr, uint32_t size, Copy copy) const;
    FreeFrames& poolOf(uint32_t frame) { return frame < frame_count_ / 2 ? free_low_ : free_high_; }
    void take(uint32_t frame);
    FreeFrames& choosePool();
    // Frame numbers of one run, appended to `frames`; at most `most` of them.
    void drawRun(uint32_t most, std::vector<uint32_t>& frames);

    bool made_ = false;
    int fd_ = -1;
    uint8_t* host_ = nullptr;
    uint32_t base_ = 0;
    uint32_t size_ = 0;
    uint32_t frame_count_ = 0;
    // Free frame numbers of the lower and the upper half of RAM.
    FreeFrames free_low_;
    FreeFrames free_high_;
    // Where each free frame sits in its pool.
    std::vector<uint32_t> pool_positions_;
    std::vector<bool> in_use_;
    uint32_t in_use_count_ = 0;
    uint32_t device_frames_ = 0;
    // Where the bytes of a frame held privately by a committed page are.
    std::vector<uint8_t*> private_bytes_;
    std::vector<uint32_t> mappings_;
    std::mt19937 random_;
    bool seeded_ = false;
    std::vector<Device> devices_;
};

} // namespace sim
