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

} // namespace sim
