#include "sim/physical_memory.h"

#include "sim/board_devices.h"
#include "sim/handheld.h"
#include "sim/process_memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace sim {

namespace {

[[noreturn]] void hostFailure(const char* what) {
    std::perror(what);
    std::abort();
}

} // namespace

PhysicalMemory& PhysicalMemory::get() {
    static PhysicalMemory memory;
    if (!memory.made_)
        memory.reset(Handheld::get().profile());
    return memory;
}

PhysicalMemory::~PhysicalMemory() {
    releaseRam();
}

void PhysicalMemory::releaseRam() {
    if (host_ != nullptr)
        munmap(host_, size_);
    if (fd_ >= 0)
        close(fd_);
    host_ = nullptr;
    fd_ = -1;
}

void PhysicalMemory::reset(const DeviceProfile& profile) {
    // Regions map the memory file: they go before the RAM does.
    ProcessMemory::get().forgetAll();
    releaseRam();
    devices_.clear();

    base_ = profile.ram_base;
    size_ = profile.ram_size;
    fd_ = memfd_create("zandrel-ram", MFD_CLOEXEC);
    if (fd_ < 0)
        hostFailure("simulated RAM: memfd_create");
    if (ftruncate(fd_, size_) != 0)
        hostFailure("simulated RAM: ftruncate");
    void* host = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_NORESERVE, fd_, 0);
    if (host == MAP_FAILED)
        hostFailure("simulated RAM: mmap");
    host_ = static_cast<uint8_t*>(host);

    uint32_t frames = size_ / kFrameSize;
    free_low_.clear();
    free_high_.clear();
    for (uint32_t i = 0; i < frames; ++i)
        (i < frames / 2 ? free_low_ : free_high_).push_back(i);
    in_use_.assign(frames, false);
    in_use_count_ = 0;
    seeded_ = false;
    made_ = true;
    attachBoardDevices(*this, profile);
}

bool PhysicalMemory::contains(uint32_t paddr, uint32_t size) const {
    return paddr >= base_ && uint64_t{paddr} + size <= uint64_t{base_} + size_;
}

bool PhysicalMemory::read(uint32_t paddr, void* out, uint32_t size) const {
    if (!contains(paddr, size))
        return false;
    if (size == 0)
        return true;
    std::memcpy(out, host_ + (paddr - base_), size);
    return true;
}

bool PhysicalMemory::write(uint32_t paddr, const void* in, uint32_t size) {
    if (!contains(paddr, size))
        return false;
    if (size == 0)
        return true;
    std::memcpy(host_ + (paddr - base_), in, size);
    return true;
}

uint8_t* PhysicalMemory::hostAddress(uint32_t paddr) {
    return contains(paddr, 1) ? host_ + (paddr - base_) : nullptr;
}

uint32_t PhysicalMemory::drawFrame() {
    const MemoryKnobs& knobs = Handheld::get().memory;
    if (!seeded_) {
        random_.seed(knobs.seed);
        seeded_ = true;
    }
    std::vector<uint32_t>* pool = nullptr;
    switch (knobs.placement) {
    case FramePlacement::UpperHalf:
        pool = free_high_.empty() ? &free_low_ : &free_high_;
        break;
    case FramePlacement::LowerHalf:
        pool = free_low_.empty() ? &free_high_ : &free_low_;
        break;
    case FramePlacement::Anywhere: {
        size_t pick = random_() % (free_low_.size() + free_high_.size());
        pool = pick < free_low_.size() ? &free_low_ : &free_high_;
        break;
    }
    }
    size_t index = random_() % pool->size();
    uint32_t frame = (*pool)[index];
    (*pool)[index] = pool->back();
    pool->pop_back();
    in_use_[frame] = true;
    ++in_use_count_;
    return base_ + frame * kFrameSize;
}

bool PhysicalMemory::allocateFrames(uint32_t count, std::vector<uint32_t>& frames) {
    uint64_t free = free_low_.size() + free_high_.size();
    if (count > free || uint64_t{in_use_count_} + count > Handheld::get().memory.frame_limit)
        return false;
    frames.clear();
    frames.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        frames.push_back(drawFrame());
    return true;
}

bool PhysicalMemory::claimFrame(uint32_t paddr) {
    if (!contains(paddr, 1) || frameInUse(paddr))
        return false;
    uint32_t frame = (paddr - base_) / kFrameSize;
    std::vector<uint32_t>& pool = frame < in_use_.size() / 2 ? free_low_ : free_high_;
    std::erase(pool, frame);
    in_use_[frame] = true;
    ++in_use_count_;
    return true;
}

bool PhysicalMemory::frameInUse(uint32_t paddr) const {
    return contains(paddr, 1) && in_use_[(paddr - base_) / kFrameSize];
}

void PhysicalMemory::releaseFrame(uint32_t paddr) {
    if (!frameInUse(paddr))
        return;
    uint32_t frame = (paddr - base_) / kFrameSize;
    // Punching the hole both zeroes the frame and gives its memory back.
    if (fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t{frame} * kFrameSize, kFrameSize) !=
        0)
        std::memset(host_ + frame * kFrameSize, 0, kFrameSize);
    in_use_[frame] = false;
    --in_use_count_;
    (frame < in_use_.size() / 2 ? free_low_ : free_high_).push_back(frame);
}

void PhysicalMemory::attachDevice(uint32_t base, uint32_t size, std::shared_ptr<DeviceModel> model) {
    detachDevice(base);
    devices_.push_back({base, size, std::move(model)});
}

void PhysicalMemory::detachDevice(uint32_t base) {
    std::erase_if(devices_, [base](const Device& device) { return device.base == base; });
}

DeviceModel* PhysicalMemory::deviceAt(uint32_t paddr, uint32_t* offset) const {
    for (const Device& device : devices_) {
        if (paddr >= device.base && paddr - device.base < device.size) {
            *offset = paddr - device.base;
            return device.model.get();
        }
    }
    return nullptr;
}

bool PhysicalMemory::isPresent(uint32_t paddr, uint32_t size) const {
    uint64_t end = uint64_t{paddr} + size;
    for (const PhysicalRange& absent : Handheld::get().memory.absent_ranges) {
        if (paddr < uint64_t{absent.base} + absent.size && absent.base < end)
            return false;
    }
    return true;
}

} // namespace sim
