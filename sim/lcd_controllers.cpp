#include "sim/lcd_controllers.h"

#include "loader/elf_format.h"
#include "sim/physical_memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace sim {

uint32_t Sa11x0LcdController::read32(uint32_t offset) {
    switch (offset) {
    case kLcsr:
        return 0; // nothing to report: no errors, no underrun
    // On the chip DCAR1 and DCAR2 follow the DMA through the frame; this
    // model's DMA never moves, so they read as their base registers.
    case kDcar1:
        return registers_[kDbar1 / 4];
    case kDcar2:
        return registers_[kDbar2 / 4];
    default:
        return offset / 4 < registers_.size() ? registers_[offset / 4].load() : 0;
    }
}

void Sa11x0LcdController::write32(uint32_t offset, uint32_t value) {
    // The status bits are cleared by writing ones; DCAR1 and DCAR2 are read-only.
    if (offset == kLcsr || offset == kDcar1 || offset == kDcar2 || offset / 4 >= registers_.size())
        return;
    // The DMA base addresses are quad-word aligned.
    registers_[offset / 4] = offset == kDbar1 || offset == kDbar2 ? value & ~0xFu : value;
}

uint32_t Pxa2x0LcdController::read32(uint32_t offset) {
    switch (offset) {
    case kLccr0:
    case kLccr1:
    case kLccr2:
    case kLccr3:
        return lccr_[offset / 4];
    case kFbr0:
        return fbr0_;
    case kFdadr0:
        return fdadr0_;
    case kFsadr0:
    case kFidr0:
    case kLdcmd0: {
        // What the channel loaded: the words of the descriptor it points at.
        uint8_t descriptor[16] = {};
        if (!PhysicalMemory::get().read(fdadr0_, descriptor, sizeof descriptor))
            return 0;
        return elf::get32(descriptor + (offset - kFdadr0));
    }
    default:
        return 0;
    }
}

void Pxa2x0LcdController::write32(uint32_t offset, uint32_t value) {
    switch (offset) {
    case kLccr0:
    case kLccr1:
    case kLccr2:
    case kLccr3:
        lccr_[offset / 4] = value;
        break;
    case kFbr0:
        fbr0_ = value;
        break;
    case kFdadr0:
        if ((lccr_[0] & kLccr0Enable) == 0)
            fdadr0_ = value & ~0xFu;
        break;
    default:
        break;
    }
}

void S1d13806Registers::write8(uint32_t offset, uint8_t value) {
    if (offset < kCount)
        registers_[offset] = value;
}

uint32_t S1d13806Registers::read32(uint32_t offset) {
    if (offset + 4 > kCount)
        return 0;
    uint32_t word = 0;
    for (uint32_t i = 0; i < 4; ++i)
        word |= uint32_t{registers_[offset + i]} << (8 * i);
    return word;
}

void S1d13806Registers::write32(uint32_t offset, uint32_t value) {
    if (offset + 4 > kCount)
        return;
    for (uint32_t i = 0; i < 4; ++i)
        registers_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

VideoMemory::VideoMemory() {
    void* host = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (host == MAP_FAILED) {
        std::perror("simulated video memory: mmap");
        std::abort();
    }
    bytes_ = static_cast<uint8_t*>(host);
}

VideoMemory::~VideoMemory() {
    munmap(bytes_, kSize);
}

void VideoMemory::write8(uint32_t offset, uint8_t value) {
    if (offset < kSize)
        bytes_[offset] = value;
}

uint32_t VideoMemory::read32(uint32_t offset) {
    return offset + 4 <= kSize ? elf::get32(bytes_ + offset) : 0;
}

void VideoMemory::write32(uint32_t offset, uint32_t value) {
    if (offset + 4 <= kSize)
        elf::put32(bytes_ + offset, value);
}

} // namespace sim
