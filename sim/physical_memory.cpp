#include "sim/physical_memory.h"

#include "sim/board_devices.h"
#include "sim/handheld.h"
#include "sim/page_runs.h"
#include "sim/process_heap.h"
#include "sim/process_memory.h"
#include "sim/ram_split.h"

#include <algorithm>
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

// The object store's frames are where the device's history of writing files
// left them: the same on every start.
constexpr uint32_t kObjectStoreSeed = 0x0B5E;
constexpr uint32_t kObjectStoreLongestRun = 16;

} // namespace

PhysicalMemory& PhysicalMemory::get() {
    static PhysicalMemory memory;
    if (!memory.made_) {
        const Handheld& device = Handheld::get();
        memory.reset(device.profile(), device.objectStoreBytes(device.profile()));
    }
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

void PhysicalMemory::reset(const DeviceProfile& profile, uint32_t object_store) {
    // Regions map the memory file: they go before the RAM does.
    ProcessMemory::get().forgetAll();
    releaseRam();
    devices_.clear();

    RamBank window = ramWindow(profile);
    base_ = window.base;
    size_ = window.size;
    fd_ = memfd_create("zandrel-ram", MFD_CLOEXEC);
    if (fd_ < 0)
        hostFailure("simulated RAM: memfd_create");
    if (ftruncate(fd_, size_) != 0)
        hostFailure("simulated RAM: ftruncate");
    void* host = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_NORESERVE, fd_, 0);
    if (host == MAP_FAILED)
        hostFailure("simulated RAM: mmap");
    host_ = static_cast<uint8_t*>(host);

    frame_count_ = size_ / kFrameSize;
    private_bytes_.assign(frame_count_, nullptr);
    mappings_.assign(frame_count_, 0);
    in_use_count_ = 0;
    heap_frames_.clear();
    seeded_ = false;
    divide(profile, object_store);
    made_ = true;
    attachBoardDevices(*this, profile);
    // The heap of the process goes on into the new RAM; the charge asks this RAM from now on.
    ProcessHeap& heap = ProcessHeap::get();
    holdHeap(heap.committedBytes());
    heap.charge = [this](uint64_t bytes) { return holdHeap(bytes); };
}

void PhysicalMemory::setUse(uint32_t paddr, uint32_t size, FrameUse use) {
    for (uint32_t frame = frameOf(paddr); frame < frameOf(paddr) + size / kFrameSize; ++frame)
        use_[frame] = use;
}

void PhysicalMemory::divide(const DeviceProfile& profile, uint32_t object_store) {
    banks_ = ramBanks(profile);
    stretches_.clear();
    for (const RamBank& bank : banks_) {
        if (!stretches_.empty() && stretches_.back().base + stretches_.back().size == bank.base)
            stretches_.back().size += bank.size;
        else
            stretches_.push_back(bank);
    }
    use_.assign(frame_count_, FrameUse::NotRam);
    uint32_t below = profile.ram_size / 2; // bytes of the lower half still to pass
    upper_half_ = frame_count_;
    for (const RamBank& bank : banks_) {
        setUse(bank.base, bank.size, FrameUse::Free);
        if (upper_half_ == frame_count_ && below < bank.size)
            upper_half_ = frameOf(bank.base + below);
        else if (upper_half_ == frame_count_)
            below -= bank.size;
    }
    for (const RamBank& range : kernelPart(profile))
        setUse(range.base, range.size, FrameUse::Kernel);

    free_low_.clear();
    free_high_.clear();
    pool_positions_.assign(frame_count_, 0);
    for (uint32_t frame = 0; frame < frame_count_; ++frame) {
        if (use_[frame] == FrameUse::Free)
            poolOf(frame).add(frame, pool_positions_);
    }
    std::mt19937 history(kObjectStoreSeed);
    std::vector<uint32_t> store;
    drawFrames(std::min(object_store / kFrameSize, freeFrames()), FrameUse::ObjectStore,
               FramePlacement::Anywhere, kObjectStoreLongestRun, history, store);
    program_frames_ = freeFrames();
}

bool PhysicalMemory::contains(uint32_t paddr, uint32_t size) const {
    for (const RamBank& stretch : stretches_) {
        if (paddr >= stretch.base && uint64_t{paddr} + size <= uint64_t{stretch.base} + stretch.size)
            return true;
    }
    return false;
}

FrameUse PhysicalMemory::frameUse(uint32_t paddr) const {
    return paddr >= base_ && paddr - base_ < size_ ? use_[frameOf(paddr)] : FrameUse::NotRam;
}

uint8_t* PhysicalMemory::bytesAt(uint32_t paddr) const {
    uint8_t* bytes = private_bytes_[frameOf(paddr)];
    return bytes != nullptr ? bytes + paddr % kFrameSize : host_ + (paddr - base_);
}

template <typename Copy>
bool PhysicalMemory::eachFramePiece(uint32_t paddr, uint32_t size, Copy copy) const {
    if (!contains(paddr, size))
        return false;
    for (uint32_t done = 0; done < size;) {
        uint32_t at = paddr + done;
        uint32_t count = std::min(size - done, kFrameSize - at % kFrameSize);
        copy(bytesAt(at), done, count);
        done += count;
    }
    return true;
}

bool PhysicalMemory::read(uint32_t paddr, void* out, uint32_t size) const {
    auto* to = static_cast<uint8_t*>(out);
    return eachFramePiece(paddr, size, [to](const uint8_t* bytes, uint32_t done, uint32_t count) {
        std::memcpy(to + done, bytes, count);
    });
}

bool PhysicalMemory::write(uint32_t paddr, const void* in, uint32_t size) {
    const auto* from = static_cast<const uint8_t*>(in);
    return eachFramePiece(paddr, size, [from](uint8_t* bytes, uint32_t done, uint32_t count) {
        std::memcpy(bytes, from + done, count);
    });
}

uint8_t* PhysicalMemory::hostAddress(uint32_t paddr) {
    return contains(paddr, 1) ? bytesAt(paddr) : nullptr;
}

void PhysicalMemory::settle() {
    ProcessMemory::get().shareAllPages();
}

void PhysicalMemory::setPrivateBytes(uint32_t paddr, uint8_t* bytes) {
    if (frameInUse(paddr))
        private_bytes_[frameOf(paddr)] = bytes;
}

uint8_t* PhysicalMemory::privateBytes(uint32_t paddr) const {
    return contains(paddr, 1) ? private_bytes_[frameOf(paddr)] : nullptr;
}

void PhysicalMemory::addMapping(uint32_t paddr) {
    if (contains(paddr, 1))
        ++mappings_[frameOf(paddr)];
}

void PhysicalMemory::dropMapping(uint32_t paddr) {
    if (contains(paddr, 1) && mappings_[frameOf(paddr)] > 0)
        --mappings_[frameOf(paddr)];
}

bool PhysicalMemory::mappedElsewhere(uint32_t paddr) const {
    return contains(paddr, 1) && mappings_[frameOf(paddr)] > 0;
}

void PhysicalMemory::FreeFrames::add(uint32_t frame, std::vector<uint32_t>& positions) {
    positions[frame] = static_cast<uint32_t>(frames_.size());
    frames_.push_back(frame);
}

void PhysicalMemory::FreeFrames::remove(uint32_t frame, std::vector<uint32_t>& positions) {
    uint32_t position = positions[frame];
    frames_[position] = frames_.back();
    positions[frames_[position]] = position;
    frames_.pop_back();
}

void PhysicalMemory::take(uint32_t frame, FrameUse use) {
    poolOf(frame).remove(frame, pool_positions_);
    use_[frame] = use;
    if (use == FrameUse::Committed)
        ++in_use_count_;
}

void PhysicalMemory::give(uint32_t frame) {
    if (use_[frame] == FrameUse::Committed)
        --in_use_count_;
    use_[frame] = FrameUse::Free;
    poolOf(frame).add(frame, pool_positions_);
}

PhysicalMemory::FreeFrames& PhysicalMemory::choosePool(FramePlacement placement, std::mt19937& random) {
    switch (placement) {
    case FramePlacement::UpperHalf:
        return free_high_.empty() ? free_low_ : free_high_;
    case FramePlacement::LowerHalf:
        return free_low_.empty() ? free_high_ : free_low_;
    case FramePlacement::Anywhere:
        break;
    }
    size_t pick = random() % (free_low_.size() + free_high_.size());
    return pick < free_low_.size() ? free_low_ : free_high_;
}

void PhysicalMemory::drawFrames(uint32_t count, FrameUse use, FramePlacement placement, uint32_t longest,
                                std::mt19937& random, std::vector<uint32_t>& frames) {
    longest = std::max(1u, longest);
    for (uint32_t left = count; left > 0;) {
        FreeFrames& pool = choosePool(placement, random);
        uint32_t first = pool.at(random() % pool.size());
        uint32_t wanted = std::min(left, 1 + static_cast<uint32_t>(random() % longest));
        for (uint32_t frame = first; frame - first < wanted; ++frame) {
            if (frame >= frame_count_ || use_[frame] != FrameUse::Free || &poolOf(frame) != &pool)
                break;
            take(frame, use);
            frames.push_back(base_ + frame * kFrameSize);
            --left;
        }
    }
}

std::mt19937& PhysicalMemory::programRandom() {
    if (!seeded_) {
        random_.seed(Handheld::get().memory.seed);
        seeded_ = true;
    }
    return random_;
}

bool PhysicalMemory::thresholdsAllow(uint64_t count) const {
    const MemoryThresholds& limits = Handheld::get().memory.thresholds;
    uint64_t free = uint64_t{freeFrames()} * kFrameSize;
    uint64_t asked = count * kFrameSize;
    if (asked > free)
        return false;
    // Only memory taken elsewhere brings the critical state about: a request
    // in the limited state must leave at least as much free.
    if (free < limits.critical)
        return asked <= limits.critical_largest;
    if (free < limits.hibernation && asked > limits.low_memory_largest)
        return false;
    return free - asked >= limits.low_memory;
}

bool PhysicalMemory::allocateFrames(uint32_t count, std::vector<uint32_t>& frames) {
    const MemoryKnobs& knobs = Handheld::get().memory;
    if (!thresholdsAllow(count) || uint64_t{in_use_count_} + count > knobs.frame_limit)
        return false;
    frames.clear();
    frames.reserve(count);
    drawFrames(count, FrameUse::Committed, knobs.placement, knobs.longest_run, programRandom(), frames);
    return true;
}

bool PhysicalMemory::holdHeap(uint64_t bytes) {
    uint64_t wanted = (bytes + kFrameSize - 1) / kFrameSize;
    if (wanted > heap_frames_.size()) {
        uint64_t more = wanted - heap_frames_.size();
        if (!thresholdsAllow(more))
            return false;
        const MemoryKnobs& knobs = Handheld::get().memory;
        drawFrames(static_cast<uint32_t>(more), FrameUse::Heap, knobs.placement, knobs.longest_run,
                   programRandom(), heap_frames_);
    }
    for (; heap_frames_.size() > wanted; heap_frames_.pop_back())
        give(frameOf(heap_frames_.back()));
    return true;
}

bool PhysicalMemory::claimFrame(uint32_t paddr) {
    FrameUse use = frameUse(paddr);
    if (use == FrameUse::ObjectStore) {
        // Not in a pool: enters one first, so that taking it works as for a free frame.
        give(frameOf(paddr));
        ++program_frames_;
    } else if (use != FrameUse::Free) {
        return false;
    }
    take(frameOf(paddr), FrameUse::Committed);
    return true;
}

void PhysicalMemory::releaseFrames(std::vector<uint32_t> paddrs) {
    std::erase_if(paddrs, [this](uint32_t paddr) { return !frameInUse(paddr); });
    std::sort(paddrs.begin(), paddrs.end());
    paddrs.erase(std::unique(paddrs.begin(), paddrs.end()), paddrs.end());
    // Frames whose bytes are in the memory file get a hole punched there,
    // which both zeroes them and gives their memory back. Private bytes go
    // with their page.
    std::vector<uint32_t> in_file;
    for (uint32_t paddr : paddrs) {
        uint32_t frame = frameOf(paddr);
        if (private_bytes_[frame] == nullptr)
            in_file.push_back(paddr);
        private_bytes_[frame] = nullptr;
        give(frame);
    }
    forEachRun(
        in_file.size(), [&](size_t k) { return in_file[k] == in_file[k - 1] + kFrameSize; },
        [&](size_t first, size_t count) {
            zeroFileFrames(in_file[first], static_cast<uint32_t>(count));
            return true;
        });
}

void PhysicalMemory::zeroFileFrames(uint32_t paddr, uint32_t count) {
    off_t offset = paddr - base_;
    off_t bytes = off_t{kFrameSize} * count;
    // Punching the hole both zeroes the frames and gives their memory back.
    if (fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, bytes) != 0)
        std::memset(host_ + offset, 0, bytes);
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
