// A device model for tests: answers reads from preset registers and keeps
// every write.
#pragma once

#include "sim/device_model.h"

#include <map>
#include <vector>

class RecordingDevice : public sim::DeviceModel {
  public:
    struct Access {
        uint32_t offset;
        uint32_t value;
        int width;
        bool operator==(const Access&) const = default;
    };

    uint8_t read8(uint32_t offset) override {
        reads.push_back({offset, 0, 8});
        return registers8[offset];
    }
    void write8(uint32_t offset, uint8_t value) override { writes.push_back({offset, value, 8}); }
    uint32_t read32(uint32_t offset) override {
        reads.push_back({offset, 0, 32});
        return registers32[offset];
    }
    void write32(uint32_t offset, uint32_t value) override { writes.push_back({offset, value, 32}); }

    std::map<uint32_t, uint8_t> registers8;
    std::map<uint32_t, uint32_t> registers32;
    std::vector<Access> reads;
    std::vector<Access> writes;
};
