// A device whose registers the simulated handheld answers: registered for a
// physical range, it sees the accesses made through a VirtualCopy mapping of
// that range as offsets from its base.
#pragma once

#include <cstdint>

namespace sim {

class DeviceModel {
  public:
    virtual ~DeviceModel() = default;
    virtual uint8_t read8(uint32_t offset) = 0;
    virtual void write8(uint32_t offset, uint8_t value) = 0;
    virtual uint32_t read32(uint32_t offset) = 0;
    virtual void write32(uint32_t offset, uint32_t value) = 0;
};

// A model of 32-bit registers; byte accesses reach the bytes of a word, a
// byte written leaving the word's other bytes as they read.
class WordRegisters : public DeviceModel {
  public:
    uint8_t read8(uint32_t offset) override {
        return static_cast<uint8_t>(read32(offset & ~3u) >> (8 * (offset & 3)));
    }
    void write8(uint32_t offset, uint8_t value) override {
        uint32_t shift = 8 * (offset & 3);
        uint32_t word = read32(offset & ~3u) & ~(0xFFu << shift);
        write32(offset & ~3u, word | uint32_t{value} << shift);
    }
};

} // namespace sim
