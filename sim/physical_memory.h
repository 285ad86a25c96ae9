// Simulated physical memory: each profile's RAM as frames, process regions
// backed by frames handed out as Windows CE does (scattered, by default in
// the upper half of RAM), and device register ranges reached by VirtualCopy.
//
// The RAM is one memory file: a committed page of a process region is a
// shared mapping of its frame, so writing through the region's virtual
// address and reading the physical address see the same bytes. Host memory is
// only used for frames that were touched.
#pragma once

#include "platform/wince_types.h"
#include "sim/device_model.h"
#include "sim/device_profile.h"

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
    // Host pointer to the RAM byte at `paddr`; null outside RAM.
    uint8_t* hostAddress(uint32_t paddr);

    // Frames for committed pages, chosen by the handheld's memory knobs. All
    // `count` frames or none (false) when the free frames or the limit do not allow.
    bool allocateFrames(uint32_t count, std::vector<uint32_t>& frames);
    // Takes the free frame at `paddr` (a restored device's page); false when
    // it is outside RAM or already in use.
    bool claimFrame(uint32_t paddr);
    // Gives the frame back, zeroed, and returns its host memory.
    void releaseFrame(uint32_t paddr);
    uint32_t framesInUse() const { return in_use_count_; }
    bool frameInUse(uint32_t paddr) const;
    // The RAM's memory file and the file offset of a physical address, for mapping.
    int memoryFile() const { return fd_; }
    uint64_t fileOffset(uint32_t paddr) const { return paddr - base_; }

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
    void releaseRam();
    uint32_t drawFrame();

    bool made_ = false;
    int fd_ = -1;
    uint8_t* host_ = nullptr;
    uint32_t base_ = 0;
    uint32_t size_ = 0;
    // Free frame numbers of the lower and the upper half of RAM.
    std::vector<uint32_t> free_low_;
    std::vector<uint32_t> free_high_;
    std::vector<bool> in_use_;
    uint32_t in_use_count_ = 0;
    std::mt19937 random_;
    bool seeded_ = false;
    std::vector<Device> devices_;
};

} // namespace sim
